#include "mccell.h"

#include "componentfield.h"
#include "exactcell.h"
#include "mixturelayout.h"
#include "model/latticeboltzmann/forces/multicomponent.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/lattice.h"
#include "model/latticeboltzmann/porous/porouscell.h"
#include "model/latticeboltzmann/sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

#include <algorithm>
#include <atomic>
#include <typeinfo>

namespace {

// A cell at a closed box edge meets a missing neighbour at every iteration:
// say so once, not once per cell and step.
std::atomic<bool> edgeWarned{false};

// Component j's vector of the last collision: the cell's own while it is
// detached, else the layout's entry at its site (a third component's zero).
Vector3d lastOf(const MixtureLayout *layout, int site, const Vector3d own[], int entry, int j, int count)
{
    if (j < 0 || j >= count)
        return Vector3d();
    if (!layout)
        return own[j];
    return j < MixtureLayout::Components ? layout->stateVector(entry + 3 * j, std::size_t(site)) : Vector3d();
}

} // namespace

// A component is a plain or porous fluid cell (the constructors, setComponents
// and activate make no other kind), and a porous cell answers its values,
// densities, changes and commit as a plain one does: the component calls
// below name SCCell's own operations rather than dispatch through the cell's
// class for each population.

MCCell::MCCell(const SimulationParameters &parameters, SCCell *from)
    : settings(&parameters), q(parameters.getModel())
{
    for (int j = 0; j < 2; ++j) {
        components[count++] = from ? static_cast<SCCell *>(from->clone(parameters))
                                   : new SCCell(parameters.randomInitialDensity(), q);
        if (PorousCell *porous = dynamic_cast<PorousCell *>(components[j]))
            porous->setComponentIndex(j);
    }
    sizeArrays();
    if (!from)
        reset(-1.0, -1.0);
    recomputeCommonVelocity();
}

MCCell::~MCCell()
{
    for (int j = 0; j < count; ++j)
        delete components[j];
}

void MCCell::sizeArrays()
{
    const int n = count;
    const double *eps = settings->parameterBlock();
    for (int j = 0; j < MaxComponents; ++j) {
        setTau(j, j < n ? eps[j] : 0.0);
        keepCollision(j, Vector3d(), Vector3d());
        fixedDensities[j] = 0.0;
    }
    porousMask = 0;
    for (int j = 0; j < n; ++j)
        if (dynamic_cast<PorousCell *>(components[j]))
            porousMask |= static_cast<unsigned char>(1u << j);
}

PorousCell *MCCell::porousAt(int j) const
{
    return static_cast<PorousCell *>(components[j]);
}

void MCCell::recomputeCommonVelocity()
{
    double current[MaxComponents * Lattice::MaxQ];
    const double *values[MaxComponents];
    double densities[MaxComponents];
    for (int j = 0; j < count; ++j) {
        for (int i = 0; i < q; ++i)
            current[j * q + i] = components[j]->SCCell::getF(i, -1);
        values[j] = current + j * q;
        densities[j] = components[j]->SCCell::getP(-1);
    }
    recomputeCommonVelocity(values, densities);
}

void MCCell::recomputeCommonVelocity(const double *const values[], const double densities[])
{
    Vector3d momenta[MaxComponents];
    for (int j = 0; j < count; ++j) {
        Vector3d &m = momenta[j];
        for (int i = 0; i < q; ++i) {
            const int *e = Lattice::tables.e[q][i];
            const double f = values[j][i];
            m += Vector3d(e[0] * f, e[1] * f, e[2] * f);
        }
    }
    double tau[MaxComponents];
    for (int j = 0; j < count; ++j)
        tau[j] = tauOf(j);
    setCommon(commonVelocityOf(count, momenta, densities, tau));
}

Vector3d MCCell::commonVelocityOf(int n, const Vector3d momenta[], const double densities[], const double taus[])
{
    double weight = 0.0;
    Vector3d momentum;
    for (int j = 0; j < n; ++j) {
        momentum += momenta[j] * (1.0 / taus[j]);
        weight += densities[j] / taus[j];
    }
    return weight > 1e-100 ? momentum * (1.0 / weight) : Vector3d();
}

Vector3d MCCell::commonVelocity() const
{
    return layout ? layout->stateVector(MixtureLayout::Common, std::size_t(site)) : own->common;
}

void MCCell::setCommon(const Vector3d &velocity)
{
    if (layout)
        layout->setStateVector(MixtureLayout::Common, std::size_t(site), velocity);
    else
        own->common = velocity;
}

double MCCell::getDeltaP()
{
    return layout ? layout->state(MixtureLayout::DeltaP)[site] : own->deltaP;
}

void MCCell::setDeltaP(double delta)
{
    if (layout)
        layout->state(MixtureLayout::DeltaP)[site] = delta;
    else
        own->deltaP = delta;
}

Vector3d MCCell::lastShift(int j) const
{
    return lastOf(layout, site, own ? own->shifts : nullptr, MixtureLayout::Shift, j, componentCount());
}

Vector3d MCCell::lastForce(int j) const
{
    return lastOf(layout, site, own ? own->forces : nullptr, MixtureLayout::Force, j, componentCount());
}

void MCCell::restoreLastCollision(int j, const Vector3d &shift, const Vector3d &force)
{
    if (j >= 0 && j < componentCount())
        keepCollision(j, shift, force);
}

double MCCell::tauOf(int j) const
{
    return layout && j < MixtureLayout::Components ? layout->state(MixtureLayout::Tau + j)[site] : taus[j];
}

void MCCell::setTau(int j, double tau)
{
    if (layout && j < MixtureLayout::Components)
        layout->state(MixtureLayout::Tau + j)[site] = tau;
    else
        taus[j] = tau;
}

void MCCell::keepCollision(int j, const Vector3d &shift, const Vector3d &force)
{
    if (!layout) {
        own->shifts[j] = shift;
        own->forces[j] = force;
    } else if (j < MixtureLayout::Components) {
        layout->setStateVector(MixtureLayout::Shift + 3 * j, std::size_t(site), shift);
        layout->setStateVector(MixtureLayout::Force + 3 * j, std::size_t(site), force);
    }
}

// The interaction between components holds no state: every cell of every
// grid uses this one object rather than a heap object of its own.
MultiComponent &MCCell::interaction()
{
    static MultiComponent shared;
    return shared;
}

void MCCell::collide(double params[], BaseCell *neighbours[], Grid *grid, const Vector3i &position,
                     const double *const values[], const double *densities, double *out)
{
    const int n = componentCount();
    const QList<Force *> &forces = grid->getParameters()->getForces();
    // Porous components exchange part of what they stream for their own
    // opposite populations, as a porous cell on its own does.
    double solid[MaxComponents];
    for (int j = 0; j < n; ++j) {
        const PorousCell *porous = porousComponent(j);
        solid[j] = porous ? porous->getSolidDensity() : 0.0;
    }
    // Per component, what every direction's equilibrium reads: the density,
    // the shifted velocity and its square, the share of the old population
    // kept.
    double rho[MaxComponents], uu[MaxComponents], keep[MaxComponents], relax[MaxComponents];
    Vector3d v[MaxComponents];
    // The forces between components, all from one walk over the neighbours.
    Vector3d between[MaxComponents];
    if (const ComponentField *field = grid->componentFieldFor(position.x, position.y, position.z))
        interaction().fieldForces(*field, *grid, position, neighbours, 0, n, between);
    else
        interaction().forces(this, neighbours, 0, n, grid, between);
    const Vector3d common = commonVelocity();
    for (int j = 0; j < n; ++j) {
        Vector3d shift, force;
        const double tau = relax[j] = params[j < 3 ? j : 0];
        setTau(j, tau);
        rho[j] = densities ? densities[j] : components[j]->SCCell::getP(-1);
        if (rho[j] > 0.001) {
            const double s = tau / rho[j];
            shift = between[j] * s;
            force = between[j];
            for (Force *f : forces) {
                const Vector3d F = f->force(components[j], neighbours, j, position.x, position.y, position.z, grid);
                shift += F * s;
                force += F;
            }
        }
        keepCollision(j, shift, force);
        v[j] = common + shift;
        uu[j] = v[j].dot(v[j]);
        keep[j] = 1.0 - 1.0 / tau;
    }
    for (int i = 0; i < q; ++i) {
        const double w = Lattice::tables.w[q][i];
        for (int j = 0; j < n; ++j) {
            double feq = 0.0;
            if (w > 1e-100) {
                const double s = Lattice::dot(q, i, v[j]);
                feq = w * rho[j] * (1.0 + 3.0 * s + 4.5 * s * s - 1.5 * uu[j]);
            }
            const double f = values[j][i];
            double value = f * keep[j] + feq / relax[j];
            if (solid[j] != 0.0)
                value = (1.0 - solid[j]) * value + solid[j] * values[j][Lattice::opposite(q, i)];
            out[j * q + i] = value;
        }
    }
}

void MCCell::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    const int n = componentCount();
    double current[MaxComponents * Lattice::MaxQ];
    const double *values[MaxComponents];
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < q; ++i)
            current[j * q + i] = components[j]->SCCell::getF(i, -1);
        values[j] = current + j * q;
    }
    double out[MaxComponents * Lattice::MaxQ];
    collide(params, neighbours, grid, position, values, nullptr, out);
    for (int i = 0; i < q; ++i) {
        BaseCell *nb = neighbours[i];
        if (!nb) {
            warnMissingNeighbour(i);
            continue;
        }
        // A mixture neighbour takes each component's population straight
        // into that component; any other cell decides itself.
        MCCell *mixture = exactCell<MCCell>(nb);
        for (int j = 0; j < n; ++j) {
            const double value = out[j * q + i];
            if (!mixture)
                nb->setNextF(i, value, j);
            else if (SCCell *c = mixture->component(j))
                c->SCCell::setNextF(i, value, -1);
        }
    }
}

void MCCell::warnMissingNeighbour(int direction)
{
    if (!edgeWarned.load(std::memory_order_relaxed) && !edgeWarned.exchange(true))
        qWarning() << "multicomponent error: a multicomponent cell has no neighbour in direction" << direction
                   << "(a closed box edge); its populations there are dropped";
}

bool MCCell::canAttach(int model) const
{
    if (count != 2 || porousMask != 0)
        return false;
    for (int j = 0; j < count; ++j) {
        const SCCell *c = components[j];
        if (typeid(*c) != typeid(SCCell) || c->getQ() != model || c->getFixedDensity() != 0.0 ||
            fixedDensities[j] != 0.0)
            return false;
    }
    return true;
}

void MCCell::attachComponents(MixtureLayout &to, int at)
{
    for (int j = 0; j < count && j < MixtureLayout::Components; ++j)
        components[j]->attach(&to.store(j), at);
    if (layout)
        return;
    const Collision state = *own;
    own.reset();
    layout = &to;
    site = at;
    setCommon(state.common);
    setDeltaP(state.deltaP);
    for (int j = 0; j < MixtureLayout::Components; ++j) {
        keepCollision(j, state.shifts[j], state.forces[j]);
        setTau(j, taus[j]);
    }
}

void MCCell::detachComponents()
{
    for (int j = 0; j < count; ++j)
        components[j]->detach();
    if (!layout)
        return;
    auto state = std::make_unique<Collision>();
    state->common = commonVelocity();
    state->deltaP = getDeltaP();
    for (int j = 0; j < MixtureLayout::Components; ++j) {
        state->shifts[j] = layout->stateVector(MixtureLayout::Shift + 3 * j, std::size_t(site));
        state->forces[j] = layout->stateVector(MixtureLayout::Force + 3 * j, std::size_t(site));
        taus[j] = tauOf(j);
    }
    own = std::move(state);
    layout = nullptr;
    site = -1;
}

bool MCCell::isAttachedTo(const MixtureLayout &to, int at) const
{
    if (count != 2 || layout != &to || site != at)
        return false;
    for (int j = 0; j < count; ++j)
        if (!components[j]->isAttachedTo(&to.store(j), at))
            return false;
    return true;
}

double MCCell::nextDensity() const
{
    if (count == 0)
        return 0.0;
    double sum = 0.0;
    for (int j = 0; j < count; ++j)
        sum += components[j]->nextDensity();
    return sum / count;
}

void MCCell::componentsChanged()
{
    for (int j = 0; j < count; ++j)
        if (Populations *store = components[j]->attachedStore())
            store->layoutDirty = true;
}

void MCCell::postUpdate()
{
    for (int j = 0; j < componentCount(); ++j) {
        components[j]->SCCell::postUpdate();
        if (fixedDensities[j] != 0.0)
            components[j]->reset(fixedDensities[j], 0.0);
    }
}

void MCCell::finishUpdate(Grid *grid, int x, int y, int z)
{
    for (int j = 0; j < count; ++j)
        components[j]->SCCell::finishUpdate(grid, x, y, z);
    recomputeCommonVelocity();
    // The densities just committed are what the neighbours' next
    // interaction reads.
    if (ComponentField *field = grid->componentFieldInUse())
        field->formSite(this, std::size_t(grid->siteIndex(x, y, z)));
}

void MCCell::reset(double p0, double p1)
{
    setCommon(Vector3d());
    if (componentCount() > 0)
        components[0]->reset(p0, -1.0);
    if (componentCount() > 1)
        components[1]->reset(p1, -1.0);
}

double MCCell::getF(int i, int component)
{
    SCCell *c = this->component(component);
    return c ? c->SCCell::getF(i, -1) : 0.0;
}

void MCCell::setNextF(int i, double value, int component)
{
    if (SCCell *c = this->component(component))
        c->SCCell::setNextF(i, value, -1);
}

double MCCell::getNextF(int i, int component)
{
    SCCell *c = this->component(component);
    return c ? c->getNextF(i, -1) : 0.0;
}

void MCCell::setComponents(int n)
{
    n = std::clamp(n, 0, MaxComponents);
    if (n != count)
        componentsChanged();
    while (count < n)
        components[count++] = new SCCell(settings->randomInitialDensity(), q);
    while (count > n) {
        delete components[count - 1];
        components[--count] = nullptr;
    }
    sizeArrays();
}

double MCCell::getP(int m)
{
    if (m < 0) {
        if (count == 0)
            return 0.0;
        double sum = 0.0;
        for (int j = 0; j < count; ++j)
            sum += components[j]->SCCell::getP(-1);
        return sum / componentCount();
    }
    SCCell *c = component(m);
    return c ? c->SCCell::getP(-1) : 0.0;
}

Vector3d MCCell::getLatticeVelocity(int m)
{
    if (m < 0)
        return commonVelocity();
    SCCell *c = component(m);
    return c ? c->getLatticeVelocity(-1) : Vector3d();
}

Vector3d MCCell::getVelocity(int m)
{
    // The component's momentum and half its force, scaled for a porous component.
    auto share = [&](int j) {
        SCCell *c = components[j];
        Vector3d momentum;
        for (int i = 0; i < q; ++i) {
            const int *e = Lattice::tables.e[q][i];
            const double f = c->SCCell::getF(i, -1);
            momentum += Vector3d(e[0] * f, e[1] * f, e[2] * f);
        }
        const PorousCell *porous = porousComponent(j);
        return (momentum + lastForce(j) * 0.5) * (porous ? 1.0 - porous->getSolidDensity() : 1.0);
    };
    double mass = 0.0;
    Vector3d momentum;
    if (m < 0) {
        for (int j = 0; j < componentCount(); ++j) {
            mass += components[j]->SCCell::getP(-1);
            momentum += share(j);
        }
    } else if (m < componentCount()) {
        mass = components[m]->SCCell::getP(-1);
        momentum = share(m);
    }
    return mass > Lattice::ActiveWeight ? momentum * (1.0 / mass) : Vector3d();
}

double MCCell::computeDeltaP()
{
    double sum = 0.0;
    for (int j = 0; j < count; ++j)
        sum += components[j]->SCCell::computeDeltaP();
    const double delta = count == 0 ? 0.0 : sum / componentCount();
    setDeltaP(delta);
    return delta;
}

Vector3d MCCell::getForce(int m)
{
    if (m == -1) {
        Vector3d s;
        for (int j = 0; j < componentCount() && j < 2; ++j)
            s += lastShift(j);
        return s;
    }
    return lastShift(m);
}

void MCCell::setF(double values[])
{
    if (componentCount() > 0)
        components[0]->setF(values);
    if (componentCount() > 1)
        components[1]->setF(values + q);
    recomputeCommonVelocity();
}

int MCCell::modelQ()
{
    return count == 0 ? 0 : components[0]->getQ();
}

BaseCell *MCCell::clone(const SimulationParameters &parameters)
{
    MCCell *c = new MCCell(parameters);
    c->setComponents(componentCount());
    for (int j = 0; j < componentCount(); ++j)
        c->components[j]->reset(components[j]->getP(-1), -1.0);
    return c;
}

void MCCell::setFixedDensity(int j, double density)
{
    if (j >= 0 && j < componentCount()) {
        fixedDensities[j] = density;
        // A pinned component keeps its own arrays; the grid detaches it.
        if (density != 0.0)
            componentsChanged();
    }
}

void MCCell::passivate(QXmlStreamWriter &writer)
{
    writer.writeAttribute("type", "multiComponent");
    const Vector3d common = commonVelocity();
    writer.writeAttribute("compVelX", XmlFormat::real(common.x));
    writer.writeAttribute("compVelY", XmlFormat::real(common.y));
    writer.writeAttribute("compVelZ", XmlFormat::real(common.z));
    writer.writeAttribute("lastDeltaP", XmlFormat::real(getDeltaP()));
    writer.writeStartElement("cells");
    writer.writeAttribute("cellsSize", QString::number(componentCount()));
    for (int j = 0; j < count; ++j) {
        writer.writeStartElement("cell");
        components[j]->passivate(writer);
        writer.writeEndElement();
    }
    writer.writeEndElement();
}

void MCCell::activate(QXmlStreamReader &reader, Grid *grid)
{
    AttributeReader a(reader);
    const Vector3d u(a.real("compVelX"), a.real("compVelY"), a.real("compVelZ"));
    const double delta = a.real("lastDeltaP", 0.0, 0.0);
    if (!a.ok()) {
        qWarning() << "load error:" << a.error();
        reader.skipCurrentElement();
        return;
    }
    // Components come from the "cell" children of "cells"; at most as many
    // as announced, each a single-component fluid cell.
    SCCell *read[MaxComponents] = {};
    int readCount = 0;
    int announced = 0;
    while (reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("cells")) {
            reader.skipCurrentElement();
            continue;
        }
        AttributeReader cells(reader);
        announced = cells.integer("cellsSize", 0, 0, MaxComponents);
        while (reader.readNextStartElement()) {
            const QStringRef type = reader.attributes().value("type");
            const bool porous = type == QLatin1String("porous");
            if (reader.name() == QLatin1String("cell") && readCount < announced &&
                (porous || type == QLatin1String("singleComponent"))) {
                SCCell *c = porous ? new PorousCell(1.0, *grid->getParameters())
                                   : new SCCell(1.0, grid->getParameters()->getModel());
                c->activate(reader, grid);
                read[readCount++] = c;
            } else {
                qWarning() << "load error: a multicomponent cell holds a cell that is not single-component fluid";
            }
            if (!reader.isEndElement())
                reader.skipCurrentElement();
        }
    }
    if (readCount == 0) {
        qWarning() << "load error: a multicomponent cell without components keeps its own";
        return;
    }
    componentsChanged();
    for (int j = 0; j < count; ++j)
        delete components[j];
    for (int j = 0; j < MaxComponents; ++j)
        components[j] = read[j];
    count = readCount;
    sizeArrays();
    setCommon(u);
    setDeltaP(delta);
}
