#include "meltingsolidificationcell.h"

#include "freesurfacesettings.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <atomic>
#include <cmath>
#include <cstring>
#include <typeinfo>

namespace {

constexpr int Q = MeltingSolidificationCell::Q;

std::atomic<unsigned> &counter()
{
    static std::atomic<unsigned> value(0);
    return value;
}

// The neighbour as a melting cell, or null when it is absent or of another
// kind (such neighbours take no part in the exchange).
inline MeltingSolidificationCell *melting(BaseCell *cell)
{
    return cell && typeid(*cell) == typeid(MeltingSolidificationCell) ? static_cast<MeltingSolidificationCell *>(cell)
                                                                      : nullptr;
}

inline int opposite(int i)
{
    return Lattice::tables.opp[Q][i];
}

inline double weight(int i)
{
    return Lattice::tables.w[Q][i];
}

const FreeSurfaceSettings &settingsOf(FreeSurfaceSettings *settings)
{
    return settings ? *settings : FreeSurfaceSettings::defaults();
}

// The state is stored as its place in this list: every attribute of a
// cell element in the state document is a number.
const char States[] = "SLGIW";

int stateCode(char state)
{
    const char *at = std::strchr(States, state);
    return at && state ? int(at - States) : 1;
}

} // namespace

MeltingSolidificationCell::MeltingSolidificationCell(FreeSurfaceSettings *settings) : settings(settings)
{
    ++counter();
    reset(1.0, 1.0);
}

MeltingSolidificationCell::~MeltingSolidificationCell()
{
    ++counter();
}

unsigned MeltingSolidificationCell::generation()
{
    return counter().load();
}

MeltingSolidificationCell *MeltingSolidificationCell::forCode(const QString &code, Grid &grid)
{
    static const struct
    {
        const char *code;
        char state;
    } codes[] = {{"korner_solid", 'S'},
                 {"korner_liquid", 'L'},
                 {"korner_gas", 'G'},
                 {"korner_interface", 'I'},
                 {"korner_wall", 'W'}};
    for (const auto &c : codes)
        if (code == QLatin1String(c.code)) {
            auto *cell = new MeltingSolidificationCell(grid.getMeltingController());
            cell->setState(c.state);
            cell->setNewMass(cell->getMass());
            return cell;
        }
    return nullptr;
}

void MeltingSolidificationCell::setState(char s)
{
    state = s;
    m = s == 'I' ? 0.5 : 0.0;
}

double MeltingSolidificationCell::populationSum() const
{
    double sum = 0.0;
    for (int i = 0; i < Q; ++i)
        sum += f[i];
    return sum;
}

double MeltingSolidificationCell::energySum() const
{
    double sum = 0.0;
    for (int i = 0; i < Q; ++i)
        sum += g[i];
    return sum;
}

void MeltingSolidificationCell::recompute()
{
    energy = energySum();
    Lattice::moments(f, Q, rho, u);
}

void MeltingSolidificationCell::reset(double a, double b)
{
    // A negative value (-1 from a reset of the whole grid) means rest at 1.
    const double density = a < 0.0 ? 1.0 : a, e = b < 0.0 ? 1.0 : b;
    for (int i = 0; i < Q; ++i) {
        f[i] = fNext[i] = weight(i) * density;
        g[i] = gNext[i] = weight(i) * e;
    }
    recompute();
}

// Interface cells gather the mass their liquid and interface neighbours send
// minus what they send back; between two interface cells the exchange is
// weighted by their mean fill.
void MeltingSolidificationCell::exchangeMass(BaseCell *neighbours[])
{
    mNew = m;
    const double fill = rho > 0.0 ? m / rho : 0.0;
    for (int j = 1; j < Q; ++j) {
        const MeltingSolidificationCell *n = melting(neighbours[j]);
        if (!n)
            continue;
        const double exchange = n->f[opposite(j)] - f[j];
        if (n->state == 'I')
            mNew += 0.5 * ((n->rho > 0.0 ? n->m / n->rho : 0.0) + fill) * exchange;
        else if (n->state == 'L')
            mNew += exchange;
    }
}

// Pulls population k from the upstream neighbour n(k), colliding it there
// first. Solids, walls and sites outside the model send back this cell's own
// population after the same collision, so a cell hands on exactly the mass it
// holds and a closed pool keeps its mass while it flows.
void MeltingSolidificationCell::streamMass(BaseCell *neighbours[], double tau0, double gravity)
{
    const double omega = 1.0 / tau0;
    Vector3d own = u;
    if (state == 'L')
        own.y -= gravity;
    for (int k = 0; k < Q; ++k) {
        const MeltingSolidificationCell *n = melting(neighbours[opposite(k)]);
        const char other = n ? n->state : 'W';
        if (other == 'S' || other == 'W') {
            const int o = opposite(k);
            fNext[k] = (1.0 - omega) * f[o] + omega * Lattice::equilibrium(own, rho, Q, o);
            continue;
        }
        Vector3d v = n->u;
        if (other == 'L')
            v.y -= gravity;
        const bool wet = state == 'I' || state == 'L';
        if ((wet && (other == 'I' || other == 'L')) || (state == 'G' && other == 'G')) {
            fNext[k] = (1.0 - omega) * n->f[k] + omega * Lattice::equilibrium(v, n->rho, Q, k);
        } else if (state == 'G' && other == 'I') {
            fNext[k] = f[opposite(k)];
        } else if (state == 'I' && other == 'G') {
            // The free-surface reconstruction with the gas neighbour's density.
            fNext[k] = 2.0 * Lattice::equilibrium(v, n->rho, Q, k) - f[opposite(k)];
        } else if (settings) {
            settings->reportUnsupportedPair(other, state);
        }
    }
}

// The energy relaxation time of the cell's state; an interface cell mixes
// those of gas and liquid by its fill.
double MeltingSolidificationCell::energyTau() const
{
    const FreeSurfaceSettings &s = settingsOf(settings);
    switch (state) {
    case 'G':
        return s.getTauGas();
    case 'S':
        return s.getTauSolid();
    case 'I': {
        const double fill = rho > 0.0 ? m / rho : 0.0;
        return s.getTauGas() * (1.0 - fill) + s.getTauLiquid() * fill;
    }
    default:
        return s.getTauLiquid();
    }
}

// Pulls energy population k from the upstream neighbour after its collision
// with its own relaxation time; walls and sites outside the model reflect
// this cell's own collided population. Every cell thus hands on exactly the
// energy it holds, whatever the relaxation times of its neighbours, and the
// total grows only by the heat of the beam.
void MeltingSolidificationCell::streamEnergy(BaseCell *neighbours[])
{
    const double omega = 1.0 / energyTau();
    for (int k = 0; k < Q; ++k) {
        const MeltingSolidificationCell *n = melting(neighbours[opposite(k)]);
        if (!n || n->state == 'W') {
            const int o = opposite(k);
            gNext[k] = Lattice::equilibrium(u, energy, Q, o) * omega + (1.0 - omega) * g[o];
        } else {
            const double w = 1.0 / n->energyTau();
            gNext[k] = Lattice::equilibrium(n->u, n->energy, Q, k) * w + (1.0 - w) * n->g[k];
        }
    }
}

void MeltingSolidificationCell::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i)
{
    const SimulationParameters *p = grid ? grid->getParameters() : nullptr;
    const double tau0 = p ? p->getEffectiveTau0() : params[0];
    const double gravity = p ? p->getPassiveScalarGravity() : 0.0;
    if (state == 'I')
        exchangeMass(neighbours);
    if (state == 'G' || state == 'L' || state == 'I') {
        streamMass(neighbours, tau0, gravity);
    } else {
        for (int i = 0; i < Q; ++i)
            fNext[i] = f[i];
    }
    if (state == 'W') {
        for (int i = 0; i < Q; ++i)
            gNext[i] = g[i];
    } else {
        streamEnergy(neighbours);
    }
}

void MeltingSolidificationCell::postUpdate()
{
    if (state == 'I')
        m = mNew;
    for (int i = 0; i < Q; ++i) {
        f[i] = fNext[i];
        g[i] = gNext[i] + weight(i) * heat;
    }
    recompute();
}

double MeltingSolidificationCell::getF(int i, int component)
{
    if (i < 0 || i >= Q)
        return 0.0;
    return component == 1 ? g[i] : f[i];
}

double MeltingSolidificationCell::getNextF(int i, int component)
{
    if (i < 0 || i >= Q)
        return 0.0;
    return component == 1 ? gNext[i] : fNext[i];
}

double MeltingSolidificationCell::getP(int component)
{
    if (component == 1)
        return energy;
    switch (state) {
    case 'I':
        return m;
    case 'W':
        return 0.0;
    default:
        return rho;
    }
}

double MeltingSolidificationCell::computeDeltaP()
{
    double sum = 0.0;
    for (int i = 0; i < Q; ++i)
        sum += std::abs(fNext[i] - f[i]);
    lastDeltaP = sum / Q;
    return lastDeltaP;
}

void MeltingSolidificationCell::setF(double values[])
{
    for (int i = 0; i < Q; ++i) {
        f[i] = values[i];
        g[i] = values[Q + i];
    }
    recompute();
}

BaseCell *MeltingSolidificationCell::clone(const SimulationParameters &)
{
    return new MeltingSolidificationCell(settings);
}

void MeltingSolidificationCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "meltingSolidification");
    writer.writeAttribute("state", QString::number(stateCode(state)));
    writer.writeAttribute("m", XmlFormat::real(m));
    writer.writeAttribute("mNew", XmlFormat::real(mNew));
    writer.writeAttribute("beam", XmlFormat::real(beam));
    writer.writeAttribute("heat", XmlFormat::real(heat));
    writer.writeAttribute("lastDeltaP", XmlFormat::real(lastDeltaP));
    for (int i = 0; i < Q; ++i) {
        writer.writeAttribute(QStringLiteral("f%1").arg(i), XmlFormat::real(f[i]));
        writer.writeAttribute(QStringLiteral("n%1").arg(i), XmlFormat::real(fNext[i]));
        writer.writeAttribute(QStringLiteral("g%1").arg(i), XmlFormat::real(g[i]));
        writer.writeAttribute(QStringLiteral("h%1").arg(i), XmlFormat::real(gNext[i]));
    }
}

void MeltingSolidificationCell::activate(QXmlStreamReader &reader, Grid *grid)
{
    if (grid)
        settings = grid->getMeltingController();
    AttributeReader a(reader);
    const int code = a.integer("state", 1, 0, 4);
    double values[4][Q];
    const char *const prefixes[4] = {"f", "n", "g", "h"};
    for (int set = 0; set < 4; ++set)
        for (int i = 0; i < Q; ++i)
            values[set][i] = a.real(QLatin1String(prefixes[set]) + QString::number(i), weight(i));
    const double mass = a.real("m"), newMass = a.real("mNew", mass);
    const double b = a.real("beam"), h = a.real("heat"), d = a.real("lastDeltaP", 0.0, 0.0);
    if (!a.ok()) {
        qWarning() << "load error:" << a.error();
        return;
    }
    state = States[code];
    m = mass;
    mNew = newMass;
    beam = b;
    heat = h;
    lastDeltaP = d;
    for (int i = 0; i < Q; ++i) {
        f[i] = values[0][i];
        fNext[i] = values[1][i];
        g[i] = values[2][i];
        gNext[i] = values[3][i];
    }
    recompute();
}
