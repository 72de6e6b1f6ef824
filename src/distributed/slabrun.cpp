#include "slabrun.h"

#include "rowstate.h"
#include "sitegroups.h"
#include "slab.h"
#include "slabfields.h"
#include "slabplan.h"

#include "batch/batchrun.h"
#include "batch/runoptions.h"
#include "batch/runoutputs.h"
#include "batch/stopsignals.h"
#include "model/latticeboltzmann/basecell.h"
#include "model/latticeboltzmann/boundary/inletformula.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "persistence/cellrow.h"
#include "persistence/exports.h"
#include "persistence/geometryfiles.h"
#include "persistence/rowcensus.h"
#include "persistence/statedocument.h"

#include <mpi.h>

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using Settings = BatchRun::Settings;

// What the first process tells the others before each call: iterations to
// step (0 ends the run), whether the per-cell table is due after them,
// and whether every process writes its piece of a VTK file.
struct Command
{
    int count = 0;
    int cells = 0;
    int vtk = 0;
    // The iteration after the call.
    int iteration = 0;
    // Whether the time series is due, put together from the slabs' parts.
    int series = 0;
};

// Sites of the domain whose per-cell table lines travel at once: the table
// runs column by column through every slab, so the slabs send their parts
// of a block of whole columns of about this many sites, and the first
// process writes them column by column in row order.
constexpr long long SitesAtOnce = 8192;

int rank = 0, processes = 1;

// Messages of the run come from the first process only: the others hold
// the same document and would say the same.
void say(FILE *stream, const QString &text)
{
    if (rank == 0) {
        std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
        std::fflush(stream);
    }
}

// Sends bytes to dest and receives the bytes source sends with the same
// tag; MPI_PROC_NULL on either side leaves that side out.
QByteArray exchange(const QByteArray &out, int dest, int source, int tag)
{
    long long sizeOut = out.size(), sizeIn = 0;
    MPI_Sendrecv(&sizeOut, 1, MPI_LONG_LONG, dest, tag, &sizeIn, 1, MPI_LONG_LONG, source, tag, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE);
    QByteArray in(source == MPI_PROC_NULL ? 0 : int(sizeIn), Qt::Uninitialized);
    MPI_Sendrecv(out.constData(), int(sizeOut), MPI_BYTE, dest, tag + 1, in.data(), in.size(), MPI_BYTE, source,
                 tag + 1, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    return in;
}

// Rows of a slab sent in one message when the slabs are handed out.
constexpr int RowsAtOnce = 16;

// Messages above this size go in pieces (MPI counts are ints).
constexpr long long Piece = 1LL << 30;

void sendBytes(const QByteArray &bytes, int dest, int tag)
{
    const long long size = bytes.size();
    MPI_Send(&size, 1, MPI_LONG_LONG, dest, tag, MPI_COMM_WORLD);
    for (long long at = 0; at < size; at += Piece)
        MPI_Send(bytes.constData() + at, int(std::min(Piece, size - at)), MPI_BYTE, dest, tag, MPI_COMM_WORLD);
}

QByteArray receiveBytes(int source, int tag)
{
    long long size = 0;
    MPI_Recv(&size, 1, MPI_LONG_LONG, source, tag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    QByteArray bytes(int(size), Qt::Uninitialized);
    for (long long at = 0; at < size; at += Piece)
        MPI_Recv(bytes.data() + at, int(std::min(Piece, size - at)), MPI_BYTE, source, tag, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE);
    return bytes;
}

void broadcastBytes(QByteArray &bytes)
{
    long long size = bytes.size();
    MPI_Bcast(&size, 1, MPI_LONG_LONG, 0, MPI_COMM_WORLD);
    if (rank != 0)
        bytes = QByteArray(int(size), Qt::Uninitialized);
    for (long long at = 0; at < size; at += Piece)
        MPI_Bcast(bytes.data() + at, int(std::min(Piece, size - at)), MPI_BYTE, 0, MPI_COMM_WORLD);
}

// Every process holds the same answer: true only when every one says true.
bool everyone(bool mine)
{
    int in = mine ? 1 : 0, all = 0;
    MPI_Allreduce(&in, &all, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
    return all == 1;
}

class Run
{
public:
    explicit Run(const Settings &settings) : settings(settings) {}

    bool load(const QString &input, QString *error);
    // 0 done, 1 failed, 3 out of time, 128 + N stopped by signal N.
    int run(const QString &input);

private:
    bool loadDocument(const QString &input, QString *error);
    bool prepareSlab(QString *error);
    // Reads the rows of a slab of the document (its own and its ghost rows)
    // into grid; false with a message for a document the slab cannot use
    // or that cannot be cut.
    bool readSlab(const Slab &part, Grid &grid, QString *error);
    // The statistics of the loaded domain that its cells give (every
    // process takes part).
    void addLoadedTotals();
    // The whole domain into the first process's grid, with the settings of
    // the first pass, for slabs whose ghost rows wrap round to their own
    // rows (a domain only a few rows high).
    bool readWhole(QString *error);
    // One iteration of every slab: ghost rows in, step, row sums out.
    void stepSlab();
    // The ghost rows take the state of the neighbours' edge rows.
    void refreshGhosts();
    // The per-cell table (when cells) and the probes' columns of the time
    // series (when probes, into *probeColumns on the first process), each
    // slab forming the lines of its own rows and the first process writing
    // them in the table's order as they arrive; false on the first process
    // when the table could not be written.
    bool writeSlabTables(bool cells, bool probes, int iteration, QByteArray *probeColumns, QString *error);
    // The drag of the whole domain's drag walls, on the first process, from
    // every slab's part (every process takes part).
    QMap<int, Vector3d> dragOfTheDomain();
    // The first process keeps of the whole domain only its settings and
    // everything but the cells (what the final document writes around
    // them); its grid holds one row.
    void releaseWhole();
    // Every process writes the VTK piece of its slab's own rows, then the
    // first the head that lists them; false on every process when one failed.
    bool writeVtk(int iteration, QString *error);
    bool saveFinal(QString *error);

    Settings settings;
    QString inputPath;
    std::unique_ptr<Grid> whole;
    int domainWidth = 0, domainLength = 0;
    Grid slabGrid;
    SlabPlan plan;
    std::unique_ptr<Slab> slab;
    RunOutputs outputs;
    QStringList notes;
    // The statistics of the whole domain (first process).
    SimulationStats stats;
    std::vector<double> sums, allSums;
    std::vector<int> counts, offsets;
    // Seconds stepping and exchanging, this process's; and all processes'
    // on the first.
    double computeSeconds = 0.0, exchangeSeconds = 0.0;
    // Of the exchange, the time spent packing and unpacking rows.
    double packingSeconds = 0.0;
    std::vector<double> times;
    long long bytesExchanged = 0;
    int loadedIterations = 0;
    // A state document is read one slab at a time; what its first pass
    // found in every row.
    bool windowed = false;
    RowCensus census;
    // A geometry's sites and the groups its whole grid would give them.
    bool geometry = false;
    GeometryFiles::Sites sites;
    SiteGroups groups;
    bool loadedRebuildFlag = false;
    // VTK files are binary (as asked, or as the document says).
    bool vtkBinary = false;
};

bool Run::loadDocument(const QString &input, QString *error)
{
    struct stat st;
    if (::stat(QFile::encodeName(input).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *error = QStringLiteral("%1 is not a regular file").arg(input);
        return false;
    }
    const QString suffix = QFileInfo(input).suffix().toLower();
    if (suffix == QLatin1String("png") || suffix == QLatin1String("txt") || suffix == QLatin1String("lb")) {
        // Of a geometry, the codes of its sites are read (a few bytes a
        // site); each slab's cells are built from its rows later.
        geometry = true;
        windowed = true;
        if (!GeometryFiles::readSites(*whole, input, whole->getParameters()->getMeltingFlag(), sites, error))
            return false;
        SimulationParameters *parameters = whole->getParameters();
        parameters->setModel(sites.model);
        // Random initial densities are drawn site by site across the whole
        // domain: such a geometry is built whole and cut.
        if (parameters->getMinP0() != parameters->getMaxP0()) {
            windowed = false;
            return GeometryFiles::load(*whole, input, parameters->getMeltingFlag(), error);
        }
        const int perRow = sites.width * sites.length;
        census = RowCensus();
        census.working.assign(std::size_t(sites.height), 0);
        for (int y = 0; y < sites.height; ++y)
            for (int i = 0; i < perRow; ++i) {
                const QString &code = sites.codes[y * perRow + i];
                const bool null = code == QLatin1String("-");
                census.count(y, null, null || code == QLatin1String("x") || code == QLatin1String("w"));
            }
        groups.number(sites.codes, sites.width, sites.height, sites.length);
        // The first process keeps a grid of one row for the settings and
        // the domain's width and length.
        try {
            whole->loadTypes(sites.codes.mid(0, perRow), sites.width, 1, sites.length);
        } catch (const std::bad_alloc &) {
            *error = QStringLiteral("not enough memory to build a row of %1").arg(QFileInfo(input).fileName());
            return false;
        }
        return true;
    }
    // Of a state document, the first pass keeps the settings and one row,
    // and counts what every row holds; each slab's rows are read later.
    windowed = true;
    StateDocument::Options options;
    options.rowCount = 1;
    options.census = &census;
    if (!outputs.loadDocument(*whole, input, error, options))
        return false;
    notes = outputs.warnings();
    return true;
}

bool Run::load(const QString &input, QString *error)
{
    // Only the first process reads the document, one slab's rows at a time;
    // the others get their slabs from it, and no process holds the whole
    // domain.
    inputPath = input;
    int failed = 0;
    if (rank == 0) {
        whole = std::make_unique<Grid>();
        if (!loadDocument(input, error)) {
            if (!error->contains(QFileInfo(input).fileName()))
                *error = QStringLiteral("%1: %2").arg(input, *error);
            failed = 1;
        } else {
            *error = SlabPlan::unsupported(*whole, outputs.unreadSections());
            if (error->isEmpty()) {
                for (const QString &note : notes)
                    say(stderr, QStringLiteral("ondix-run: %1").arg(note));
            }
            if (!error->isEmpty())
                failed = 1;
            else if (windowed)
                failed = !plan.plan(
                    census.working, whole->getParameters()->getPeriodicBoundaries(), processes,
                    SlabPlan::ghostRows(!whole->getParameters()->getForces().isEmpty(), census.plainOnly), error);
            else
                failed = !plan.plan(*whole, processes, SlabPlan::ghostRows(*whole), error);
        }
    }
    MPI_Bcast(&failed, 1, MPI_INT, 0, MPI_COMM_WORLD);
    return !failed;
}

bool Run::readSlab(const Slab &part, Grid &grid, QString *error)
{
    if (geometry) {
        // The slab's rows of the geometry, wrapped round the domain's
        // height, built as the whole domain's grid builds them.
        const int perRow = sites.width * sites.length;
        QStringList codes;
        try {
            codes.reserve(part.windowRowCount() * perRow);
            for (int local = 0; local < part.windowRowCount(); ++local) {
                const int y = ((part.windowFirstRow() + local) % sites.height + sites.height) % sites.height;
                for (int i = 0; i < perRow; ++i)
                    codes.append(sites.codes[y * perRow + i]);
            }
            grid.getParameters()->copyPersistedFrom(*whole->getParameters());
            grid.loadTypes(codes, sites.width, part.windowRowCount(), sites.length);
        } catch (const std::bad_alloc &) {
            *error = QStringLiteral("not enough memory to build a slab of %1").arg(QFileInfo(inputPath).fileName());
            return false;
        }
        groups.apply(grid, part.windowFirstRow());
        *error = SlabPlan::unsupported(grid);
        return error->isEmpty();
    }
    StateDocument::Options options;
    options.firstRow = part.windowFirstRow();
    options.rowCount = part.windowRowCount();
    StateDocument document(grid);
    if (!document.load(inputPath, options, error))
        return false;
    // What one slab cannot tell (particles of other rows) refuses the run
    // as the whole domain would.
    *error = SlabPlan::unsupported(grid, document.unreadSections());
    return error->isEmpty();
}

void Run::addLoadedTotals()
{
    // The fluid sites and the density of the whole domain as one grid adds
    // them, in site order: each process adds its own rows onto the sums of
    // the processes below and hands them on; the last tells everyone.
    double totals[2] = {0.0, 0.0};
    if (rank > 0)
        MPI_Recv(totals, 2, MPI_DOUBLE, rank - 1, 42, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    long long fluid = 0;
    const int below = slab->localRow(slab->firstRow());
    for (int y = below; y < below + slab->rowCount(); ++y)
        for (int x = 0; x < slabGrid.getWidth(); ++x)
            for (int z = 0; z < slabGrid.getLength(); ++z) {
                BaseCell *cell = slabGrid.getCell(x, y, z);
                fluid += cell->isFluid() ? 1 : 0;
                totals[1] += cell->getP(-1);
            }
    totals[0] += double(fluid);
    if (rank + 1 < processes)
        MPI_Send(totals, 2, MPI_DOUBLE, rank + 1, 42, MPI_COMM_WORLD);
    MPI_Bcast(totals, 2, MPI_DOUBLE, processes - 1, MPI_COMM_WORLD);
    stats.fluidCells = int(totals[0]);
    stats.totalP = totals[1];
}

bool Run::prepareSlab(QString *error)
{
    std::vector<long long> numbers;
    QByteArray parameters;
    long long extents[2] = {0, 0};
    double figures[3] = {0, 0, 0};
    if (rank == 0) {
        numbers = plan.toNumbers();
        parameters = Slab::parameters(*whole);
        extents[0] = whole->getWidth();
        extents[1] = whole->getLength();
    }
    long long size = numbers.size();
    MPI_Bcast(&size, 1, MPI_LONG_LONG, 0, MPI_COMM_WORLD);
    numbers.resize(std::size_t(size));
    MPI_Bcast(numbers.data(), int(size), MPI_LONG_LONG, 0, MPI_COMM_WORLD);
    broadcastBytes(parameters);
    MPI_Bcast(extents, 2, MPI_LONG_LONG, 0, MPI_COMM_WORLD);
    bool ok = plan.fromNumbers(numbers);
    slab = std::make_unique<Slab>(plan, rank);
    QString why = ok ? QString() : QStringLiteral("the plan of the slabs did not arrive whole");
    if (rank == 0) {
        // A slab's rows are read from the document alone unless its ghost
        // rows wrap round to rows it holds already (a domain a few rows
        // high), when the whole domain is read.
        for (int s = 0; s < processes && windowed; ++s)
            if (Slab(plan, s).windowRowCount() > plan.height())
                windowed = !(ok = ok && readWhole(&why));
        // The other slabs first, each sent a few rows at a time as soon as
        // it is read (or a refusal), then the first process's own: it holds
        // one slab at a time.
        for (int s = 1; s < processes; ++s) {
            const Slab part(plan, s);
            Grid grid;
            if (ok && windowed)
                ok = readSlab(part, grid, &why);
            int sending = ok ? 1 : 0;
            MPI_Send(&sending, 1, MPI_INT, s, 41, MPI_COMM_WORLD);
            if (!ok)
                continue;
            if (windowed)
                for (int row = 0; row < grid.getHeight(); row += RowsAtOnce)
                    sendBytes(RowState::pack(grid, row, std::min(RowsAtOnce, grid.getHeight() - row)), s, 40);
            else
                sendBytes(part.rows(*whole), s, 40);
            sendBytes(QByteArray(), s, 40);
        }
        if (windowed)
            ok = ok && readSlab(*slab, slabGrid, &why) && slab->adopt(slabGrid, &why);
        else
            ok = ok && slab->build(slabGrid, *whole, &why);
        const SimulationStats &s = whole->getStatistics();
        figures[0] = s.iterations;
        figures[1] = s.deltaP;
        figures[2] = outputs.vtkBinaryFor(settings.vtkBinary) ? 1.0 : 0.0;
    } else {
        int sending = 0;
        MPI_Recv(&sending, 1, MPI_INT, 0, 41, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        if (!sending)
            why = QStringLiteral("the first process sent no rows");
        ok = ok && sending && slab->prepare(slabGrid, parameters, int(extents[0]), int(extents[1]), &why);
        int rowsRead = 0;
        // Every piece is taken, also after a refused one.
        for (QByteArray rows = sending ? receiveBytes(0, 40) : QByteArray(); !rows.isEmpty();
             rows = receiveBytes(0, 40)) {
            int read = 0;
            ok = ok && RowState::unpack(slabGrid, rowsRead, rows, &why, &read);
            rowsRead += read;
        }
        ok = ok && slab->finish(slabGrid, rowsRead, &why);
    }
    MPI_Bcast(figures, 3, MPI_DOUBLE, 0, MPI_COMM_WORLD);
    // The first process's reason is the one told: the others only know
    // that their rows did not come.
    int firstOk = ok ? 1 : 0;
    MPI_Bcast(&firstOk, 1, MPI_INT, 0, MPI_COMM_WORLD);
    if (!everyone(ok)) {
        *error = !firstOk ? why : ok ? QStringLiteral("another process could not build its slab") : why;
        return false;
    }
    stats.iterations = int(figures[0]);
    stats.deltaP = figures[1];
    vtkBinary = figures[2] != 0.0;
    addLoadedTotals();
    slabGrid.getStatistics() = stats;
    slabGrid.getParameters()->setMulticore(!settings.serial);
    if (settings.single)
        slabGrid.getParameters()->setSinglePopulations(true);
    domainWidth = int(extents[0]);
    domainLength = int(extents[1]);
    if (rank == 0) {
        // The final document records the precision the run stepped in.
        if (settings.single)
            whole->getParameters()->setSinglePopulations(true);
        loadedIterations = stats.iterations;
        loadedRebuildFlag = whole->getParameters()->getNeedsNeighbourRebuild();
        releaseWhole();
        sites = GeometryFiles::Sites();
        groups = SiteGroups();
    }
    counts.assign(std::size_t(processes), 0);
    offsets.assign(std::size_t(processes), 0);
    for (int s = 0; s < processes; ++s) {
        counts[std::size_t(s)] = 2 * plan.rowCount(s) + 2;
        offsets[std::size_t(s)] = s == 0 ? 0 : offsets[std::size_t(s - 1)] + counts[std::size_t(s - 1)];
    }
    allSums.resize(std::size_t(offsets.back() + counts.back()));
    return true;
}

bool Run::readWhole(QString *error)
{
    if (geometry)
        return GeometryFiles::load(*whole, inputPath, whole->getParameters()->getMeltingFlag(), error);
    return outputs.loadDocument(*whole, inputPath, error);
}

void Run::refreshGhosts()
{
    const double t0 = MPI_Wtime();
    const int below = plan.below(rank) < 0 ? MPI_PROC_NULL : plan.below(rank);
    const int above = plan.above(rank) < 0 ? MPI_PROC_NULL : plan.above(rank);
    // Each edge leaves as soon as it is packed, its size with it (the
    // receiver probes for it): the upper edge is packed while the lower one
    // travels, and each side's ghost rows are filled while the other side's
    // edge may still be on its way. Down the lower edge with tag 10, up the
    // upper one with tag 20.
    MPI_Request sends[2] = {MPI_REQUEST_NULL, MPI_REQUEST_NULL};
    const QByteArray down = below == MPI_PROC_NULL ? QByteArray() : slab->lowerEdge(slabGrid);
    if (below != MPI_PROC_NULL)
        MPI_Isend(down.constData(), down.size(), MPI_BYTE, below, 10, MPI_COMM_WORLD, &sends[0]);
    const QByteArray up = above == MPI_PROC_NULL ? QByteArray() : slab->upperEdge(slabGrid);
    if (above != MPI_PROC_NULL)
        MPI_Isend(up.constData(), up.size(), MPI_BYTE, above, 20, MPI_COMM_WORLD, &sends[1]);
    double packing = MPI_Wtime() - t0;
    bytesExchanged += down.size() + up.size();
    QString why;
    bool ok = true;
    const auto receive = [&](int source, int tag) {
        MPI_Message message;
        MPI_Status status;
        MPI_Mprobe(source, tag, MPI_COMM_WORLD, &message, &status);
        int size = 0;
        MPI_Get_count(&status, MPI_BYTE, &size);
        QByteArray edge(size, Qt::Uninitialized);
        MPI_Mrecv(edge.data(), size, MPI_BYTE, &message, MPI_STATUS_IGNORE);
        return edge;
    };
    if (above != MPI_PROC_NULL) {
        const QByteArray fromAbove = receive(above, 10);
        const double mark = MPI_Wtime();
        ok = slab->fillUpperGhosts(slabGrid, fromAbove, &why);
        packing += MPI_Wtime() - mark;
    }
    if (ok && below != MPI_PROC_NULL) {
        const QByteArray fromBelow = receive(below, 20);
        const double mark = MPI_Wtime();
        ok = slab->fillLowerGhosts(slabGrid, fromBelow, &why);
        packing += MPI_Wtime() - mark;
    }
    packingSeconds += packing;
    if (!ok) {
        // The processes' own bytes: a fault of this program, not of the input.
        std::fprintf(stderr, "ondix-run: process %d: %s\n", rank, why.toLocal8Bit().constData());
        MPI_Abort(MPI_COMM_WORLD, 1);
    }
    MPI_Waitall(2, sends, MPI_STATUSES_IGNORE);
}

void Run::stepSlab()
{
    const double t0 = MPI_Wtime();
    refreshGhosts();
    const double t1 = MPI_Wtime();
    slabGrid.step(1);
    const double t2 = MPI_Wtime();
    slab->rowSums(slabGrid, sums);
    computeSeconds += t2 - t1;
    exchangeSeconds += t1 - t0;
    sums.push_back(computeSeconds);
    sums.push_back(exchangeSeconds);
    MPI_Gatherv(sums.data(), int(sums.size()), MPI_DOUBLE, allSums.data(), counts.data(), offsets.data(), MPI_DOUBLE, 0,
                MPI_COMM_WORLD);
    exchangeSeconds += MPI_Wtime() - t2;
    if (rank == 0) {
        // The row sums of every slab in row order, as one grid adds them.
        std::vector<double> rows;
        rows.reserve(allSums.size());
        times.assign(std::size_t(2 * processes), 0.0);
        for (int s = 0; s < processes; ++s) {
            const double *from = allSums.data() + offsets[std::size_t(s)];
            rows.insert(rows.end(), from, from + 2 * plan.rowCount(s));
            times[std::size_t(2 * s)] = from[2 * plan.rowCount(s)];
            times[std::size_t(2 * s + 1)] = from[2 * plan.rowCount(s) + 1];
        }
        Slab::combineRowSums(rows, stats);
        ++stats.iterations;
        slabGrid.getStatistics().deltaP = stats.deltaP;
        slabGrid.getStatistics().totalP = stats.totalP;
    }
}

QMap<int, Vector3d> Run::dragOfTheDomain()
{
    // A wall's drag reads what its neighbours sent it in the last step,
    // which it holds itself: the ghost rows are not needed.
    // The sums go up through the processes in row order, each adding its
    // own rows; the last hands them to the first.
    QList<int> keys;
    QVector<double> values;
    if (rank > 0) {
        QDataStream in(receiveBytes(rank - 1, 70));
        in >> keys >> values;
    }
    QMap<int, Vector3d> drag;
    for (int k = 0; k < keys.size() && 3 * k + 2 < values.size(); ++k)
        drag[keys[k]] = Vector3d(values[3 * k], values[3 * k + 1], values[3 * k + 2]);
    slab->addDrag(slabGrid, drag);
    keys = drag.keys();
    values.clear();
    for (const Vector3d &d : drag)
        values << d.x << d.y << d.z;
    QByteArray out;
    {
        QDataStream stream(&out, QIODevice::WriteOnly);
        stream << keys << values;
    }
    const int next = rank + 1 < processes ? rank + 1 : 0;
    if (next != rank)
        sendBytes(out, next, rank + 1 < processes ? 70 : 71);
    if (rank != 0 || processes == 1)
        return drag;
    QDataStream in(receiveBytes(processes - 1, 71));
    in >> keys >> values;
    drag.clear();
    for (int k = 0; k < keys.size() && 3 * k + 2 < values.size(); ++k)
        drag[keys[k]] = Vector3d(values[3 * k], values[3 * k + 1], values[3 * k + 2]);
    return drag;
}

void Run::releaseWhole()
{
    whole->resize(domainWidth, 1, domainLength);
}

bool Run::writeSlabTables(bool cells, bool probes, int iteration, QByteArray *probeColumns, QString *error)
{
    // Vorticity reads the neighbours' edge rows: the first own row goes
    // down, the last up; nothing wraps round the domain's edges.
    SlabFields fields(slabGrid, plan, rank);
    const int below = rank > 0 ? rank - 1 : MPI_PROC_NULL;
    const int above = rank + 1 < processes ? rank + 1 : MPI_PROC_NULL;
    const QByteArray fromAbove =
        exchange(below == MPI_PROC_NULL ? QByteArray() : fields.lowerEdgeVelocities(), below, above, 80);
    const QByteArray fromBelow =
        exchange(above == MPI_PROC_NULL ? QByteArray() : fields.upperEdgeVelocities(), above, below, 82);
    // The stream function's column sums go up the slabs in row order.
    std::vector<double> columnSums;
    if (rank > 0) {
        columnSums.resize(std::size_t(domainWidth));
        MPI_Recv(columnSums.data(), domainWidth, MPI_DOUBLE, rank - 1, 84, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    }
    if (!fields.compute(fromBelow, fromAbove, columnSums)) {
        std::fprintf(stderr, "ondix-run: process %d: the neighbours' edge rows do not fit the slab\n", rank);
        MPI_Abort(MPI_COMM_WORLD, 1);
    }
    if (rank + 1 < processes)
        MPI_Send(fields.columnSums().data(), domainWidth, MPI_DOUBLE, rank + 1, 84, MPI_COMM_WORLD);
    const CellRow row = fields.cellRow();
    const int shift = plan.ghostBelow(rank) - plan.firstRow(rank);
    const int own = plan.rowCount(rank);

    bool ok = true;
    if (cells) {
        // Blocks of whole columns of the domain of about SitesAtOnce sites:
        // the first process holds one block of every slab's lines at a time.
        const int columns = int(std::max(1LL, SitesAtOnce / (static_cast<long long>(plan.height()) * domainLength)));
        // The lines of the own rows of the columns [x0, x0 + columns),
        // after the byte offset where each column's lines end.
        const auto piece = [&](int x0) {
            const int x1 = std::min(domainWidth, x0 + columns);
            std::vector<qint64> ends;
            QByteArray text;
            for (int x = x0; x < x1; ++x) {
                for (int y = shift + plan.firstRow(rank); y < shift + plan.firstRow(rank) + own; ++y)
                    for (int z = 0; z < domainLength; ++z) {
                        BaseCell *cell = slabGrid.getCell(x, y, z);
                        if (cell && cell->isFluid())
                            row.appendLine(text, x, y, z, y - shift);
                    }
                ends.push_back(text.size());
            }
            return QByteArray(reinterpret_cast<const char *>(ends.data()), int(ends.size() * sizeof(qint64))) + text;
        };
        if (rank != 0) {
            int open = 0;
            MPI_Bcast(&open, 1, MPI_INT, 0, MPI_COMM_WORLD);
            for (int x0 = 0; open && x0 < domainWidth; x0 += columns)
                sendBytes(piece(x0), 0, 86);
        } else {
            ok = Exports::writeCellTable(
                RunOutputs::cellTablePath(settings.outputDirectory, iteration),
                [&](const Exports::TextSink &sink) {
                    // Whether the file is open the first piece tells: a
                    // refused one means it is not, and no one sends.
                    int open = sink(QByteArray()) ? 1 : 0;
                    MPI_Bcast(&open, 1, MPI_INT, 0, MPI_COMM_WORLD);
                    bool written = open;
                    std::vector<QByteArray> pieces(static_cast<std::size_t>(processes));
                    for (int x0 = 0; open && x0 < domainWidth; x0 += columns) {
                        const int count = std::min(domainWidth, x0 + columns) - x0;
                        const int head = count * int(sizeof(qint64));
                        pieces[0] = piece(x0);
                        for (int s = 1; s < processes; ++s)
                            pieces[std::size_t(s)] = receiveBytes(s, 86);
                        // Column by column, each slab's part in row order.
                        for (int c = 0; c < count; ++c)
                            for (const QByteArray &part : pieces) {
                                qint64 from = 0, to = 0;
                                if (part.size() < head) {
                                    written = false;
                                    continue;
                                }
                                if (c > 0)
                                    std::memcpy(&from, part.constData() + (c - 1) * sizeof(qint64), sizeof from);
                                std::memcpy(&to, part.constData() + c * sizeof(qint64), sizeof to);
                                if (from < 0 || to < from || head + to > part.size()) {
                                    written = false;
                                    continue;
                                }
                                written =
                                    sink(QByteArray::fromRawData(part.constData() + head + from, int(to - from))) &&
                                    written;
                            }
                    }
                    return written;
                },
                error);
        }
    }
    if (probes) {
        // Each probe's columns come from the slab that holds its row, in the
        // probes' order; a probe outside the domain has empty ones.
        const QList<Vector3i> points = slabGrid.getParameters()->getProbePoints();
        const auto holder = [this](const Vector3i &p) {
            for (int s = 0; s < processes; ++s)
                if (p.y >= plan.firstRow(s) && p.y < plan.firstRow(s) + plan.rowCount(s))
                    return s;
            return -1;
        };
        QList<QByteArray> mine;
        for (const Vector3i &p : points) {
            if (holder(p) != rank)
                continue;
            BaseCell *cell = slabGrid.getCell(p.x, p.y + shift, p.z);
            QByteArray text;
            Exports::appendProbeColumns(text, cell && cell->isFluid() ? &row : nullptr, p.x, p.y + shift, p.z);
            mine << text;
        }
        if (rank != 0) {
            QByteArray bytes;
            {
                QDataStream out(&bytes, QIODevice::WriteOnly);
                out << mine;
            }
            sendBytes(bytes, 0, 88);
        } else {
            QVector<QList<QByteArray>> parts(processes);
            parts[0] = mine;
            for (int s = 1; s < processes; ++s) {
                QDataStream in(receiveBytes(s, 88));
                in >> parts[s];
            }
            QVector<int> taken(processes, 0);
            probeColumns->clear();
            for (const Vector3i &p : points) {
                const int s = holder(p);
                if (s >= 0 && taken[s] < parts[s].size())
                    probeColumns->append(parts[s][taken[s]++]);
                else
                    Exports::appendProbeColumns(*probeColumns, nullptr, 0, 0, 0);
            }
        }
    }
    return ok;
}

bool Run::writeVtk(int iteration, QString *error)
{
    QString why;
    bool ok = RunOutputs::writeVtkPiece(slabGrid, plan.ghostBelow(rank), plan.rowCount(rank),
                                        plan.ghostBelow(rank) - plan.firstRow(rank), iteration, rank,
                                        settings.outputDirectory, vtkBinary, &why);
    // The first failure in process order is the one reported.
    std::vector<int> failed(std::size_t(processes), 0);
    int mine = ok ? 0 : 1;
    MPI_Gather(&mine, 1, MPI_INT, failed.data(), 1, MPI_INT, 0, MPI_COMM_WORLD);
    QByteArray message = why.toUtf8();
    for (int s = 1; s < processes; ++s) {
        if (rank == s && !ok)
            sendBytes(message, 0, 50);
        if (rank == 0 && failed[std::size_t(s)] && ok) {
            *error = QString::fromUtf8(receiveBytes(s, 50));
            ok = false;
        } else if (rank == 0 && failed[std::size_t(s)]) {
            receiveBytes(s, 50);
        }
    }
    if (rank == 0 && !ok && error->isEmpty())
        *error = why;
    if (rank == 0 && ok)
        ok = outputs.writeVtkHead(iteration, processes, settings.outputDirectory, error);
    return everyone(rank != 0 || ok);
}

int Run::run(const QString &input)
{
    QString error;
    int failed = 0;
    if (rank == 0) {
        const SimulationParameters &p = *whole->getParameters();
        if (settings.iterations <= 0 && p.getMaxIterations() <= 0 && p.getStopWhen() <= 0.0) {
            error = QStringLiteral("Nothing ends this run: give a number of iterations, or set an iteration limit "
                                   "or a convergence threshold in the document.");
            failed = 1;
        }
    }
    MPI_Bcast(&failed, 1, MPI_INT, 0, MPI_COMM_WORLD);
    if (failed) {
        say(stderr, QStringLiteral("ondix-run: %1").arg(error));
        return 1;
    }
    // The slabs are read before the output folder is made: a document that
    // cannot be cut leaves nothing behind.
    if (!prepareSlab(&error)) {
        say(stderr, QStringLiteral("ondix-run: %1").arg(error));
        return 1;
    }
    if (rank == 0 && !QDir().mkpath(settings.outputDirectory)) {
        error = QStringLiteral("The folder %1 cannot be made.").arg(settings.outputDirectory);
        failed = 1;
    }
    MPI_Bcast(&failed, 1, MPI_INT, 0, MPI_COMM_WORLD);
    if (failed) {
        say(stderr, QStringLiteral("ondix-run: %1").arg(error));
        return 1;
    }
    const QString finalPath = BatchRun::finalPathFor(settings, input);
    const bool terminal = isatty(fileno(stdout));
    QElapsedTimer clock;
    clock.start();
    const int start = stats.iterations;
    int ran = 0;
    using Outcome = BatchRun::Outcome;
    Outcome outcome = Outcome::Finished;
    if (rank == 0) {
        say(stdout, QStringLiteral("Running %1 on %2 processes: slabs of %3 rows, %4 ghost rows a side")
                        .arg(input)
                        .arg(processes)
                        .arg([this] {
                            QStringList rows;
                            for (int s = 0; s < processes; ++s)
                                rows << QString::number(plan.rowCount(s));
                            return rows.join(QStringLiteral("/"));
                        }())
                        .arg(plan.ghost()));
    }
    const SimulationParameters *p = rank == 0 ? whole->getParameters() : nullptr;
    const int target = rank == 0 ? (settings.iterations > 0 ? start + settings.iterations : p->getMaxIterations()) : 0;
    const double sites = double(domainWidth) * plan.height() * domainLength;
    const qint64 timeLimitMs = settings.timeLimit > 0.0 ? qint64(settings.timeLimit * 1000.0) : 0;
    qint64 lastReport = std::numeric_limits<qint64>::min() / 2;
    const int burst = std::max(1, settings.burst);
    while (true) {
        Command command;
        if (rank == 0) {
            // The same calls a single process makes: the stop test once per
            // call, every output iteration ending a call.
            const int now = stats.iterations;
            const int count =
                outputs.cutCount(target > 0 ? std::min(burst, target - now) : burst, now, settings.vtkEvery);
            whole->getStatistics() = stats;
            // A failed output ends the run: nothing more runs or is written.
            if (outcome != Outcome::Failed) {
                if (StopSignals::requested().load())
                    outcome = Outcome::Stopped;
                else if (timeLimitMs > 0 && clock.elapsed() >= timeLimitMs)
                    outcome = Outcome::TimeLimit;
                else if (count > 0 && whole->canStep())
                    command.count = count;
            }
            const int after = now + command.count;
            command.iteration = after;
            command.cells = command.count > 0 && outputs.tablesDueAt(after) && outputs.cellTablesEnabled();
            command.series = command.count > 0 && outputs.tablesDueAt(after) && outputs.timeSeriesEnabled();
            command.vtk = command.count > 0 && RunOutputs::vtkDueAt(after, settings.vtkEvery);
        }
        MPI_Bcast(&command, 5, MPI_INT, 0, MPI_COMM_WORLD);
        for (int k = 0; k < command.count; ++k)
            stepSlab();
        // Collective: every process takes part whatever the first one found.
        const bool probes = command.series && !slabGrid.getParameters()->getProbePoints().isEmpty();
        QByteArray probeColumns;
        const bool tablesWritten = !(command.cells || probes) ||
                                   writeSlabTables(command.cells, probes, command.iteration, &probeColumns, &error);
        const QMap<int, Vector3d> drag = command.series ? dragOfTheDomain() : QMap<int, Vector3d>();
        if (command.vtk && !writeVtk(command.iteration, &error))
            outcome = Outcome::Failed;
        if (command.count == 0)
            break;
        if (rank != 0 || outcome == Outcome::Failed)
            continue;
        ran = stats.iterations - start;
        const double seconds = std::max<qint64>(1, clock.nsecsElapsed()) / 1e9;
        const double mlups = sites * ran / seconds / 1e6;
        stats.mlups = mlups;
        whole->getStatistics() = stats;
        if (!tablesWritten ||
            (command.series && !outputs.writeTimeSeries(stats, drag, settings.outputDirectory, &error,
                                                        slabGrid.getParameters()->getProbePoints(), probeColumns))) {
            outcome = Outcome::Failed;
            continue;
        }
        const qint64 elapsed = clock.elapsed();
        const int after = stats.iterations;
        if (elapsed - lastReport >= settings.progressInterval || (target > 0 && after >= target)) {
            lastReport = elapsed;
            int remaining = -1;
            if (target > 0)
                remaining = after >= target ? 0 : int(std::min(1e9, std::ceil(double(target - after) * seconds / ran)));
            // The slowest process by stepping time, and the share of all
            // processes' time spent exchanging (waiting included).
            int slowest = 0;
            double compute = 0.0, exchanged = 0.0;
            for (int s = 0; s < processes; ++s) {
                if (times[std::size_t(2 * s)] > times[std::size_t(2 * slowest)])
                    slowest = s;
                compute += times[std::size_t(2 * s)];
                exchanged += times[std::size_t(2 * s + 1)];
            }
            const double share = compute + exchanged > 0.0 ? 100.0 * exchanged / (compute + exchanged) : 0.0;
            const QByteArray line =
                QStringLiteral("iteration %1%2  %3 MLUPS  remaining %4  slowest process %5 (%6 s stepping)  "
                               "exchange %7%")
                    .arg(after)
                    .arg(target > 0 ? QStringLiteral(" of %1").arg(target) : QString())
                    .arg(mlups, 0, 'f', 1)
                    .arg(BatchRun::clockText(remaining))
                    .arg(slowest)
                    .arg(times[std::size_t(2 * slowest)], 0, 'f', 2)
                    .arg(share, 0, 'f', 1)
                    .toLocal8Bit();
            std::fprintf(stdout, terminal ? "\r%s " : "%s\n", line.constData());
            std::fflush(stdout);
        }
    }
    int code = outcome == Outcome::Failed ? 1 : 0;
    MPI_Bcast(&code, 1, MPI_INT, 0, MPI_COMM_WORLD);
    // Figures of the exchange, for the scaling estimates: per process and
    // iteration on average, bytes sent, and seconds stepping, packing and
    // unpacking, and the rest of the exchange (transfer and waiting).
    double mine[4] = {double(bytesExchanged), computeSeconds, packingSeconds, exchangeSeconds - packingSeconds};
    double all[4] = {0, 0, 0, 0};
    MPI_Reduce(mine, all, 4, MPI_DOUBLE, MPI_SUM, 0, MPI_COMM_WORLD);
    const char *lineEnd = terminal ? "\n" : "";
    const int iteration = stats.iterations;
    ran = iteration - start;
    if (rank == 0 && ran > 0) {
        const double per = double(processes) * ran;
        std::fprintf(stdout,
                     "%sPer process and iteration: %.0f bytes sent, %.2f ms stepping, %.2f ms packing and "
                     "unpacking rows, %.2f ms transfer and waiting\n",
                     lineEnd, all[0] / per, 1e3 * all[1] / per, 1e3 * all[2] / per, 1e3 * all[3] / per);
    }
    lineEnd = "";
    // Stopped before anything ran: the input is the state, nothing is written.
    int save = rank == 0 && outcome != Outcome::Failed && !(outcome == Outcome::Stopped && ran == 0);
    MPI_Bcast(&save, 1, MPI_INT, 0, MPI_COMM_WORLD);
    if (save && !saveFinal(&error))
        outcome = Outcome::Failed;
    if (rank != 0)
        return code;
    return BatchRun::reportEnd(outcome, iteration, ran, settings, finalPath, error, lineEnd);
}

bool Run::saveFinal(QString *error)
{
    // A cell's element depends on its neighbours' kinds: the ghost rows
    // take the neighbours' last state first.
    refreshGhosts();
    // Every process formats its own rows; the first writes them in row
    // order as they arrive, so no process holds the whole domain. An empty
    // piece ends a process's rows.
    const StateDocument rows(slabGrid);
    const int shift = plan.ghostBelow(rank) - plan.firstRow(rank);
    // A compressed document is compressed as the rows arrive, which needs
    // the length of the whole text first: each process formats its rows
    // once only to count them.
    long long mine = 0, cellBytes = -1;
    if (settings.compressFinal) {
        rows.formatRows(plan.ghostBelow(rank), plan.rowCount(rank), shift, [&mine](const QByteArray &text) {
            mine += text.size();
            return true;
        });
        MPI_Reduce(&mine, &cellBytes, 1, MPI_LONG_LONG, MPI_SUM, 0, MPI_COMM_WORLD);
    }
    if (rank != 0) {
        rows.formatRows(plan.ghostBelow(rank), plan.rowCount(rank), shift, [](const QByteArray &text) {
            sendBytes(text, 0, 60);
            return true;
        });
        sendBytes(QByteArray(), 0, 60);
        return true;
    }
    bool received = false;
    const auto receive = [this, &received](const StateDocument::TextSink &sink) {
        received = true;
        bool ok = true;
        for (int s = 1; s < processes; ++s)
            for (QByteArray text = receiveBytes(s, 60); !text.isEmpty(); text = receiveBytes(s, 60))
                ok = ok && sink(text);
        return ok;
    };
    const auto cells = [&](const StateDocument::TextSink &sink) {
        const bool ok = rows.formatRows(plan.ghostBelow(0), plan.rowCount(0), shift, sink);
        // Pieces that arrive after a failed write are taken and dropped.
        return receive(ok ? sink : [](const QByteArray &) { return false; }) && ok;
    };
    // The settings as one process leaves them: the flag to rebuild the
    // neighbour blocks as its step leaves it (it is kept in the document).
    whole->getParameters()->setNeedsNeighbourRebuild(stats.iterations == loadedIterations ? loadedRebuildFlag : false);
    whole->getStatistics() = stats;
    const bool ok = outputs.saveFinal(*whole, plan.height(), cells, BatchRun::finalPathFor(settings, inputPath),
                                      settings.compressFinal, error, cellBytes);
    // A save that failed before it asked for the cells still takes them, so
    // the other processes finish.
    if (!received)
        receive([](const QByteArray &) { return false; });
    return ok;
}

int runProcess(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    InletFormula::setEvaluatorProgram(QCoreApplication::applicationFilePath());
    QCoreApplication::setApplicationName(QStringLiteral("ondix-run"));
    RunOptions options;
    QString message;
    if (!options.parse(QCoreApplication::arguments(), &message)) {
        say(stderr, QStringLiteral("ondix-run: %1").arg(message));
        return 2;
    }
    // Not showHelp: it ends the process before MPI is finalised.
    if (options.helpRequested()) {
        say(stdout, options.helpText());
        return 0;
    }
    if (!options.watchFolder().isEmpty()) {
        say(stderr, QStringLiteral("ondix-run: --watch serves a folder from one process; start it without mpirun"));
        return 2;
    }
    const QStringList inputs = options.inputs();
    if (inputs.size() != 1) {
        say(stderr, QStringLiteral("ondix-run: give one state document or geometry (see --help)"));
        return 2;
    }
    StopSignals::install();
    const QString input = inputs.first();
    const Settings settings = options.settings(input);
    Run run(settings);
    QString error;
    if (!run.load(input, &error)) {
        say(stderr, QStringLiteral("ondix-run: %1").arg(error));
        return 1;
    }
    return run.run(input);
}

} // namespace

bool SlabRun::severalProcesses()
{
    for (const char *name : {"OMPI_COMM_WORLD_SIZE", "PMI_SIZE", "PMIX_SIZE", "MPI_LOCALNRANKS"}) {
        const char *value = std::getenv(name);
        if (value && std::atoi(value) > 1)
            return true;
    }
    return false;
}

int SlabRun::main(int argc, char *argv[])
{
    MPI_Init(&argc, &argv);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &processes);
    const int code = runProcess(argc, argv);
    MPI_Finalize();
    return code;
}
