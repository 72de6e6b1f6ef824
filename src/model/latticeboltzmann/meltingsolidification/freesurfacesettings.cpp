#include "freesurfacesettings.h"

#include "meltingsolidificationcell.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QtDebug>

#include <algorithm>
#include <cmath>
#include <typeinfo>

namespace {

constexpr double TwoPi = 6.2831853;

inline MeltingSolidificationCell *melting(BaseCell *cell)
{
    return cell && typeid(*cell) == typeid(MeltingSolidificationCell) ? static_cast<MeltingSolidificationCell *>(cell)
                                                                      : nullptr;
}

} // namespace

FreeSurfaceSettings::FreeSurfaceSettings(Grid *grid) : grid(grid) {}

FreeSurfaceSettings::~FreeSurfaceSettings() = default;

const FreeSurfaceSettings &FreeSurfaceSettings::defaults()
{
    static const FreeSurfaceSettings settings(nullptr);
    return settings;
}

void FreeSurfaceSettings::setBeam(double p, double sigma, int start, double v, int steps, double alpha)
{
    power = p;
    stdDev = sigma;
    startX = start;
    velocity = v;
    timesteps = steps;
    absorption = alpha;
    beamX = start;
}

void FreeSurfaceSettings::setEnergies(double solid, double melting)
{
    solidEnergy = solid;
    meltingEnergy = melting;
}

bool FreeSurfaceSettings::isIdle() const
{
    if (!grid)
        return true;
    refreshSites();
    return sites.empty();
}

// The sampled Gaussian relative to the column nearest the beam, which keeps
// weight 1, so a narrow beam never underflows; the sum over every column of
// an unbounded row normalises it. A beam of width 0 lights the nearest
// column alone.
double FreeSurfaceSettings::beamAt(int x) const
{
    const double nearest = std::floor(beamX + 0.5);
    if (!(stdDev > 0.0))
        return x == nearest ? power : 0.0;
    const double d0 = beamX - nearest, twoVariance = 2.0 * stdDev * stdDev;
    const auto weight = [&](double k) { return std::exp(-((k - beamX) * (k - beamX) - d0 * d0) / twoVariance); };
    double sum = 0.0;
    if (stdDev < 2.0) {
        const int reach = int(std::ceil(10.0 * stdDev)) + 2;
        for (int k = -reach; k <= reach; ++k)
            sum += weight(nearest + k);
    } else {
        // For a wide beam the sum of the samples equals the integral of the
        // Gaussian to far below rounding.
        sum = std::sqrt(TwoPi) * stdDev * std::exp(d0 * d0 / twoVariance);
    }
    return power * weight(x) / sum;
}

void FreeSurfaceSettings::reportUnsupportedPair(char from, char to)
{
    if (!warned.exchange(true))
        qDebug().noquote() << QStringLiteral("erro: de ") + QLatin1Char(from) + QStringLiteral(" para ") +
                                  QLatin1Char(to);
}

void FreeSurfaceSettings::refreshSites() const
{
    const unsigned now = MeltingSolidificationCell::generation();
    bool stale = !found || now != foundAt;
    for (std::size_t k = 0; k < sites.size() && !stale; ++k)
        stale = grid->getCell(sites[k].x, sites[k].y, sites[k].z) != sites[k].cell;
    if (!stale)
        return;
    sites.clear();
    columnOrder.clear();
    grid->forEachCell([this](BaseCell *cell, int x, int y, int z) {
        if (MeltingSolidificationCell *c = melting(cell))
            sites.push_back({c, x, y, z});
    });
    for (int k = 0; k < int(sites.size()); ++k)
        if (sites[k].z == 0)
            columnOrder.push_back(k);
    std::stable_sort(columnOrder.begin(), columnOrder.end(), [this](int a, int b) {
        return sites[a].x != sites[b].x ? sites[a].x < sites[b].x : sites[a].y > sites[b].y;
    });
    foundAt = now;
    found = true;
    beamClear = false;
    warned = false;
}

void FreeSurfaceSettings::step()
{
    if (!grid)
        return;
    refreshSites();
    if (sites.empty())
        return;
    if (grid->getStatistics().iterations == 0)
        warned = false;
    if (grid->getParameters()->getMeltingFlag())
        runBeam();
    else if (!beamClear)
        clearBeam();
    changeStates();
}

void FreeSurfaceSettings::clearBeam()
{
    for (const Site &s : sites) {
        s.cell->setBeam(0.0);
        s.cell->setHeat(0.0);
    }
    beamClear = true;
}

// The beam heats each column from the top down: every solid, liquid or
// interface cell absorbs the fraction alpha of what reaches it (an interface
// cell in proportion to its fill), gas and walls let it pass.
void FreeSurfaceSettings::runBeam()
{
    clearBeam();
    if (grid->getStatistics().iterations >= timesteps)
        return;
    beamX += velocity;
    beamClear = false;
    int column = -1;
    double intensity = 0.0, remaining = 0.0;
    for (int k : columnOrder) {
        MeltingSolidificationCell *c = sites[std::size_t(k)].cell;
        if (sites[std::size_t(k)].x != column) {
            column = sites[std::size_t(k)].x;
            intensity = beamAt(column);
            remaining = intensity;
        }
        c->setBeam(intensity);
        const char state = c->getState();
        if (state != 'S' && state != 'L' && state != 'I')
            continue;
        double share = 1.0;
        if (state == 'I')
            share = c->getDensity() > 0.0 ? c->getMass() / c->getDensity() : 0.0;
        c->setHeat(share * absorption * remaining);
        remaining -= absorption * remaining;
    }
}

// Interface cells that emptied become gas and those that filled become
// liquid, turning their liquid or gas neighbours into interface; solid
// cells above the melting energy melt. Run in site order on one thread, so a
// neighbour changed by two cells ends the same way on every run.
void FreeSurfaceSettings::changeStates()
{
    for (const Site &s : sites) {
        MeltingSolidificationCell *c = s.cell;
        BaseCell **block = grid->neighbourBlock(s.x, s.y, s.z);
        if (c->getState() == 'I') {
            const double sum = c->populationSum();
            if (c->getNewMass() < -0.01) {
                c->setState('G');
                c->setNewMass(0.0);
            } else if (c->getNewMass() > sum + 0.01) {
                c->setState('L');
                c->setNewMass(sum);
            } else {
                continue;
            }
            for (int j = 1; j < MeltingSolidificationCell::Q && block; ++j) {
                MeltingSolidificationCell *n = melting(block[j]);
                if (!n)
                    continue;
                if (n->getState() == 'G' && c->getState() != 'G') {
                    n->setState('I');
                    n->setNewMass(0.0);
                } else if (n->getState() == 'L' && c->getState() != 'L') {
                    n->setState('I');
                    n->setNewMass(n->getDensity());
                }
            }
        } else if (c->getState() == 'S' && meltingEnergy < c->energySum()) {
            bool gas = false;
            for (int j = 1; j < MeltingSolidificationCell::Q && block; ++j) {
                MeltingSolidificationCell *n = melting(block[j]);
                gas = gas || (n && n->getState() == 'G');
            }
            c->setState(gas ? 'I' : 'L');
            c->setNewMass(0.95 * c->getDensity());
        }
    }
}

void FreeSurfaceSettings::write(QXmlStreamWriter &writer) const
{
    writer.writeAttribute("power", XmlFormat::real(power));
    writer.writeAttribute("stdDev", XmlFormat::real(stdDev));
    writer.writeAttribute("velocity", XmlFormat::real(velocity));
    writer.writeAttribute("startX", QString::number(startX));
    writer.writeAttribute("timesteps", QString::number(timesteps));
    writer.writeAttribute("beamX", XmlFormat::real(beamX));
    writer.writeAttribute("absorption", XmlFormat::real(absorption));
    writer.writeAttribute("tauSolid", XmlFormat::real(tauSolid));
    writer.writeAttribute("tauLiquid", XmlFormat::real(tauLiquid));
    writer.writeAttribute("tauGas", XmlFormat::real(tauGas));
    writer.writeAttribute("solidEnergy", XmlFormat::real(solidEnergy));
    writer.writeAttribute("meltingEnergy", XmlFormat::real(meltingEnergy));
}

bool FreeSurfaceSettings::read(QXmlStreamReader &reader, QString *error)
{
    // Absent attributes keep the values in force; a rejected value keeps
    // them all.
    AttributeReader a(reader);
    const double p = a.real("power", power);
    const double sigma = a.real("stdDev", stdDev, 0.0);
    const double v = a.real("velocity", velocity);
    const int start = a.integer("startX", startX);
    const int steps = a.integer("timesteps", timesteps);
    const double x = a.real("beamX", start);
    const double alpha = a.real("absorption", absorption, 0.0, 1.0);
    const double ts = a.real("tauSolid", tauSolid, 0.5), tl = a.real("tauLiquid", tauLiquid, 0.5);
    const double tg = a.real("tauGas", tauGas, 0.5);
    const double solid = a.real("solidEnergy", solidEnergy), melt = a.real("meltingEnergy", meltingEnergy);
    for (const char *key : {"tauSolid", "tauLiquid", "tauGas"})
        if (a.has(QLatin1String(key)) && a.real(QLatin1String(key)) == 0.5)
            a.reject(QLatin1String(key), QStringLiteral("must be greater than 0.5"));
    reader.skipCurrentElement();
    if (!a.ok()) {
        if (error)
            *error = a.error();
        return false;
    }
    power = p;
    stdDev = sigma;
    velocity = v;
    startX = start;
    timesteps = steps;
    beamX = x;
    absorption = alpha;
    tauSolid = ts;
    tauLiquid = tl;
    tauGas = tg;
    solidEnergy = solid;
    meltingEnergy = melt;
    return true;
}
