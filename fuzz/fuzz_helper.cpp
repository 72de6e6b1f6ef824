#include "fuzz_helper.h"

#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <memory>

namespace FuzzHelper {

namespace {
// Rejections are expected by the thousand; their warnings would drown the
// fuzzer's own output.
void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}
} // namespace

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "ondix-fuzz";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) {
        // Kept to the end of the process: destroying it among the exit
        // handlers, after Qt's own statics, crashes.
        static QCoreApplication *app = new QCoreApplication(argc, argv);
        Q_UNUSED(app);
        if (qEnvironmentVariableIsEmpty("ONDIX_FUZZ_VERBOSE"))
            qInstallMessageHandler(quiet);
    }
}

QString scratchPath(const QString &name)
{
    static QTemporaryDir dir;
    return dir.filePath(name);
}

QString writeScratch(const QString &name, const QByteArray &bytes)
{
    const QString path = scratchPath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
    return path;
}

Grid &smallGrid()
{
    static std::unique_ptr<Grid> grid;
    grid = std::make_unique<Grid>();
    SimulationParameters *p = grid->getParameters();
    p->setModel(9);
    p->setMulticore(false);
    p->setMinP0(1.0);
    p->setMaxP0(1.0);
    grid->resize(3, 3, 1);
    return *grid;
}

} // namespace FuzzHelper
