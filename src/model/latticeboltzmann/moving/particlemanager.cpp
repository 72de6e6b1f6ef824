#include "particlemanager.h"

#include "../grid.h"
#include "../lattice.h"
#include "../sccell.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/attributereader.h"
#include "model/xml/xmlformat.h"
#include "movingcell.h"
#include "movingparticle.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <unordered_set>

ParticleManager::ParticleManager(Grid *g) : grid(g) {}

// The grid deletes its cells before its companions, so the cells are not
// touched here.
ParticleManager::~ParticleManager() = default;

MovingParticle *ParticleManager::particle(int index) const
{
    return index >= 0 && index < int(particles.size()) ? particles[std::size_t(index)].get() : nullptr;
}

int ParticleManager::indexOf(const void *body) const
{
    if (!body)
        return -1;
    for (std::size_t i = 0; i < particles.size(); ++i)
        if (particles[i].get() == body)
            return int(i);
    return -1;
}

Vector3i ParticleManager::period() const
{
    if (grid->getParameters()->getPeriodicBoundaries())
        return Vector3i(grid->getWidth(), grid->getHeight(), grid->getLength());
    return Vector3i(0, 0, 0);
}

Vector3i ParticleManager::wrap(const Vector3i &site) const
{
    if (grid->getParameters()->getPeriodicBoundaries())
        return site.wrapped(grid->getWidth(), grid->getHeight(), grid->getLength());
    return site;
}

bool ParticleManager::carries(const Vector3i &site, const MovingParticle *p) const
{
    auto *cell = dynamic_cast<MovingCell *>(grid->getCell(site));
    return cell && cell->body() == p;
}

void ParticleManager::clear()
{
    // After a resize the cells are already gone (getCell gives null); when
    // the old cells are kept for refining they must not point at the
    // particles deleted here.
    for (const auto &p : particles)
        for (const Vector3i &c : p->cells)
            if (carries(c, p.get()))
                static_cast<MovingCell *>(grid->getCell(c))->setBody(nullptr, false);
    particles.clear();
    small.clear();
    pending.clear();
}

void ParticleManager::rebuildSmallParticles()
{
    small.clear();
    for (std::size_t i = 0; i < particles.size(); ++i)
        for (std::size_t k = 0; k < particles[i]->cells.size(); ++k)
            small.push_back({int(i), int(k)});
}

void ParticleManager::cellArrives(int x, int y, int z, BaseCell *cell)
{
    if (relocating)
        return;
    auto *moving = dynamic_cast<MovingCell *>(cell);
    if (moving && !moving->body())
        pending.emplace_back(x, y, z);
}

void ParticleManager::cellLeaves(int x, int y, int z, BaseCell *cell)
{
    if (relocating)
        return;
    auto *moving = dynamic_cast<MovingCell *>(cell);
    const int index = moving ? indexOf(moving->body()) : -1;
    if (index < 0)
        return;
    MovingParticle &p = *particles[std::size_t(index)];
    const Vector3i site(x, y, z);
    p.cells.erase(std::remove(p.cells.begin(), p.cells.end(), site), p.cells.end());
    moving->setBody(nullptr, false);
    if (p.cells.empty() && removeOrphan)
        dropParticle(index);
    rebuildSmallParticles();
}

void ParticleManager::dropParticle(int index)
{
    particles.erase(particles.begin() + index);
    rebuildSmallParticles();
}

// Bodiless moving cells that share a face and a charge become one particle;
// they are gathered breadth first from each waiting site in placing order,
// so the same domain always gives the same particles in the same order.
void ParticleManager::formParticles()
{
    const bool threeD = grid->getLength() > 1;
    const Vector3i faces[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    bool formed = false;
    for (const Vector3i &site : pending) {
        auto *seed = dynamic_cast<MovingCell *>(grid->getCell(site));
        if (!seed || seed->body())
            continue;
        auto p = std::make_unique<MovingParticle>();
        p->charge = seed->getCharge();
        seed->setBody(p.get(), false);
        p->cells.push_back(site);
        for (std::size_t k = 0; k < p->cells.size(); ++k) {
            const Vector3i at = p->cells[k];
            for (int f = 0; f < (threeD ? 6 : 4); ++f) {
                const Vector3i n = wrap(at + faces[f]);
                auto *cell = dynamic_cast<MovingCell *>(grid->getCell(n));
                if (cell && !cell->body() && cell->getCharge() == p->charge) {
                    cell->setBody(p.get(), false);
                    p->cells.push_back(n);
                }
            }
        }
        particles.push_back(std::move(p));
        formed = true;
    }
    pending.clear();
    if (formed)
        rebuildSmallParticles();
}

void ParticleManager::preUpdate()
{
    if (!pending.empty())
        formParticles();
    if (particles.empty())
        return;
    for (const SmallParticle &s : small) {
        MovingParticle &p = *particles[std::size_t(s.particle)];
        const Vector3i site = p.cells[std::size_t(s.cell)];
        if (BaseCell **block = grid->neighbourBlock(site.x, site.y, site.z))
            p.exchange(nullptr, block, grid, site);
    }
    electrostatics();
}

// Pair forces d (k Q / f + 1 / f^6) with d = c_i - c_j, f = |d|^2 and
// Q = n_i q_i n_j q_j: charges of one sign push apart, and the short-range
// term always pushes apart (its potential 1 / (12 f^6) falls with distance).
// Particles at the same centre exert nothing on each other.
void ParticleManager::electrostatics()
{
    const Vector3i box = period();
    centres.clear();
    for (const auto &p : particles)
        centres.push_back(p->centre(box));
    for (std::size_t i = 0; i < particles.size(); ++i) {
        MovingParticle &a = *particles[i];
        a.potential = 0.0;
        a.electrostaticAcceleration = Vector3d();
        if (a.cells.empty())
            continue;
        for (std::size_t j = 0; j < particles.size(); ++j) {
            const MovingParticle &b = *particles[j];
            if (j == i || b.cells.empty())
                continue;
            // Across periodic boundaries a particle feels the nearest image
            // of each other one.
            const Vector3d d = MovingParticle::nearestImage(centres[i] - centres[j], box);
            const double f = d.lengthSquared();
            if (f == 0.0)
                continue;
            const double q = double(a.cells.size()) * a.charge * double(b.cells.size()) * b.charge;
            const double f6 = f * f * f * f * f * f;
            a.potential += q / std::sqrt(f) + 1.0 / (12.0 * f6);
            a.electrostaticAcceleration += d * (electrostatic * q / f + 1.0 / f6);
        }
        a.chargeProcessed = true;
        a.movementProcessed = false;
    }
}

void ParticleManager::move()
{
    if (particles.empty())
        return;
    for (const auto &p : particles)
        p->update(gravity, &grid->getParameters()->random());
    bool moved = false;
    for (const auto &p : particles) {
        const Vector3d d = p->displacement;
        auto step = [](double v) { return v < -0.5 ? -1 : (v > 0.5 ? 1 : 0); };
        const Vector3i s(step(d.x), step(d.y), step(d.z));
        if (s.x == 0 && s.y == 0 && s.z == 0)
            continue;
        if (shift(*p, s))
            moved = true;
        p->displacement = p->displacement - s.toVector3d();
    }
    // The cells' neighbour blocks must follow the moved cells before any
    // cell streams again.
    if (moved) {
        grid->buildNeighbours();
        grid->getParameters()->setNeedsNeighbourRebuild(false);
    }
    if (normalizeVelocities) {
        double sum = 0.0;
        int n = 0;
        for (const auto &p : particles)
            if (p->cells.size() == 1) {
                sum += p->velocity.lengthSquared();
                ++n;
            }
        if (n > 0) {
            meanSquaredSpeed = sum / n;
            if (meanSquaredSpeed > 0.0)
                for (const auto &p : particles)
                    if (p->cells.size() == 1)
                        p->velocity = p->velocity * (p->temperature / std::sqrt(meanSquaredSpeed));
        }
    }
}

// The particle's cells move by s when every site ahead is fluid or its own.
// The moving cells of the sites it vacates go to the sites it enters, whose
// fluid they replace; each vacated site gets a new fluid cell at the mean
// density of its fluid neighbours and at the equilibrium of the particle's
// velocity.
bool ParticleManager::shift(MovingParticle &p, const Vector3i &s)
{
    for (const Vector3i &c : p.cells) {
        const Vector3i t = wrap(c + s);
        BaseCell *cell = grid->getCell(t);
        if (!cell || !(cell->isFluid() || carries(t, &p)))
            return false;
    }
    entered.clear();
    vacated.clear();
    carriers.clear();
    fresh.clear();
    const Vector3i back(-s.x, -s.y, -s.z);
    for (const Vector3i &c : p.cells) {
        const Vector3i t = wrap(c + s);
        if (!carries(t, &p))
            entered.push_back(t);
        if (!carries(wrap(c + back), &p)) {
            vacated.push_back(c);
            carriers.push_back(static_cast<MovingCell *>(grid->getCell(c)));
        }
    }
    if (entered.size() != vacated.size())
        return false;
    const int q = grid->getParameters()->getModel();
    for (const Vector3i &v : vacated) {
        double sum = 0.0;
        int count = 0;
        for (int i = 1; i < q; ++i) {
            if (!Lattice::isActive(q, i))
                continue;
            BaseCell *n = grid->getCell(wrap(v + Lattice::direction(q, i)));
            if (n && n->isFluid()) {
                sum += n->getP(-1);
                ++count;
            }
        }
        const double density = count > 0 ? sum / count : 1.0;
        auto *cell = new SCCell(density, grid->getParameters()->getModel());
        cell->setEquilibrium(p.velocity, density);
        fresh.push_back(cell);
    }
    relocating = true;
    for (std::size_t k = 0; k < vacated.size(); ++k)
        grid->setCell(vacated[k].x, vacated[k].y, vacated[k].z, fresh[k], false, false);
    for (std::size_t k = 0; k < entered.size(); ++k)
        grid->setCell(entered[k].x, entered[k].y, entered[k].z, carriers[k], true, false);
    relocating = false;
    for (Vector3i &c : p.cells)
        c = wrap(c + s);
    return true;
}

void ParticleManager::write(QXmlStreamWriter &writer) const
{
    writer.writeAttribute("electrostatic", XmlFormat::real(electrostatic));
    writer.writeAttribute("gravity", XmlFormat::real(gravity));
    writer.writeAttribute("removeOrphan", XmlFormat::flag(removeOrphan));
    writer.writeAttribute("normalizeVelocities", XmlFormat::flag(normalizeVelocities));
    writer.writeAttribute("particlesQuantity", QString::number(particles.size()));
    writer.writeAttribute("smallParticlesQuantity", QString::number(small.size()));
    for (const auto &p : particles) {
        writer.writeStartElement("particle");
        p->write(writer);
        writer.writeEndElement();
    }
    for (const SmallParticle &s : small) {
        writer.writeStartElement("smallParticle");
        writer.writeAttribute("index", QString::number(s.particle));
        writer.writeEndElement();
    }
}

// Everything is read and checked against the placed cells before the manager
// changes: each particle's cells must be moving cells of the grid that no
// other particle claims. The small-particle entries are checked and then
// rebuilt from the particles' cells, one per cell in order, which is the
// order they were written in.
bool ParticleManager::read(QXmlStreamReader &reader, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        while (!reader.atEnd() && !(reader.isEndElement() && reader.name() == QLatin1String("particleManager")))
            reader.readNext();
        return false;
    };
    AttributeReader a(reader);
    const double k = a.real("electrostatic");
    const double g = a.real("gravity");
    const bool orphan = a.flag("removeOrphan");
    const bool normalize = a.flag("normalizeVelocities");
    a.integer("particlesQuantity", 0, 0);
    a.integer("smallParticlesQuantity", 0, 0);
    if (!a.ok())
        return fail(a.error());
    std::vector<std::unique_ptr<MovingParticle>> read;
    std::vector<int> smallIndices;
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("particle")) {
            auto p = std::make_unique<MovingParticle>();
            QString why;
            if (!p->readChecked(reader, &why))
                return fail(why);
            read.push_back(std::move(p));
        } else {
            if (reader.name() == QLatin1String("smallParticle"))
                smallIndices.push_back(reader.attributes().value("index").toInt());
            reader.skipCurrentElement();
        }
    }
    if (reader.hasError())
        return fail(reader.errorString());
    for (int index : smallIndices)
        if (index < -1 || index >= int(read.size()))
            return fail(QStringLiteral("element \"smallParticle\": no particle %1").arg(index));
    std::unordered_set<MovingCell *> claimed;
    for (std::size_t i = 0; i < read.size(); ++i)
        for (const Vector3i &c : read[i]->cells) {
            auto *cell = dynamic_cast<MovingCell *>(grid->getCell(c));
            if (!cell || !claimed.insert(cell).second)
                return fail(QStringLiteral("element \"particle\": particle %1 claims the site (%2, %3, %4), which "
                                           "is not a free moving cell")
                                .arg(i)
                                .arg(c.x)
                                .arg(c.y)
                                .arg(c.z));
        }
    // Bodiless cells placed with the document and not named by it still
    // form particles of their own at the next step.
    std::vector<Vector3i> waiting;
    waiting.swap(pending);
    clear();
    pending.swap(waiting);
    electrostatic = k;
    gravity = g;
    removeOrphan = orphan;
    normalizeVelocities = normalize;
    particles = std::move(read);
    for (const auto &p : particles)
        for (const Vector3i &c : p->cells)
            static_cast<MovingCell *>(grid->getCell(c))->setBody(p.get(), false);
    // Moving cells that name a particle the particle does not list join it.
    grid->forEachCell([&](BaseCell *c, int x, int y, int z) {
        auto *cell = dynamic_cast<MovingCell *>(c);
        if (!cell || cell->body() || !particle(cell->particleIndex()))
            return;
        MovingParticle *p = particle(cell->particleIndex());
        cell->setBody(p, false);
        p->cells.emplace_back(x, y, z);
    });
    rebuildSmallParticles();
    return true;
}
