#include "plainsite.h"

#include "grid.h"
#include "sccell.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <type_traits>
#include <typeinfo>

namespace {

// The published handle arrays. Lookups read them without a lock: an entry
// is filled before its first pointer is published and cleared by that
// pointer alone, and the count of entries in use only grows.
struct Span {
    std::atomic<std::uintptr_t> first{0};
    std::atomic<std::size_t> count{0};
    std::atomic<Grid *> grid{nullptr};
};
constexpr int MaxSpans = 256;
Span spans[MaxSpans];
std::atomic<int> spansUsed{0};
std::mutex publishing;

} // namespace

bool PlainSite::publish(Grid *grid, const PlainSite *first, std::size_t count)
{
    std::lock_guard<std::mutex> lock(publishing);
    for (int k = 0; k < MaxSpans; ++k) {
        Span &span = spans[k];
        if (span.first.load(std::memory_order_relaxed) != 0)
            continue;
        span.grid.store(grid, std::memory_order_relaxed);
        span.count.store(count, std::memory_order_relaxed);
        span.first.store(reinterpret_cast<std::uintptr_t>(first), std::memory_order_release);
        if (k >= spansUsed.load(std::memory_order_relaxed))
            spansUsed.store(k + 1, std::memory_order_release);
        return true;
    }
    return false;
}

void PlainSite::withdraw(const PlainSite *first)
{
    std::lock_guard<std::mutex> lock(publishing);
    for (Span &span : spans)
        if (span.first.load(std::memory_order_relaxed) == reinterpret_cast<std::uintptr_t>(first))
            span.first.store(0, std::memory_order_release);
}

Grid *PlainSite::owner(int &site) const
{
    const auto at = reinterpret_cast<std::uintptr_t>(this);
    const int used = spansUsed.load(std::memory_order_acquire);
    for (int k = 0; k < used; ++k) {
        const std::uintptr_t first = spans[k].first.load(std::memory_order_acquire);
        if (at < first)
            continue;
        const std::size_t index = (at - first) / sizeof(PlainSite);
        if (index < spans[k].count.load(std::memory_order_relaxed)) {
            site = int(index);
            return spans[k].grid.load(std::memory_order_relaxed);
        }
    }
    qFatal("PlainSite: a handle of no grid was used");
    return nullptr;
}

// The fluid cell the site stands for: the grid's common initial density or
// the site's own, and the last deltaP an edit froze in this flip count.
SCCell PlainSite::form(Grid *&grid, int &site) const
{
    grid = owner(site);
    Populations &populations = grid->populations;
    const double p0 = grid->handleP0(site);
    double delta = 0.0;
    const std::uint64_t at = grid->frozenDeltaP(site, delta) ? populations.generation : populations.generation + 1;
    return SCCell(SCCell::View(), &populations, site, p0, delta, at);
}

template <typename Work> auto PlainSite::read(Work work) const
{
    Grid *g;
    int s;
    SCCell cell = form(g, s);
    return work(cell);
}

template <typename Work> auto PlainSite::edit(Work work)
{
    Grid *g;
    int s;
    SCCell cell = form(g, s);
    // Keeps what the cell changed beyond the populations.
    const double p0 = cell.p0;
    auto settle = [&]() {
        if (std::memcmp(&cell.p0, &p0, sizeof p0) != 0)
            g->setHandleP0(s, cell.p0);
        if (cell.deltaGeneration == cell.store->generation)
            g->freezeDeltaP(s, cell.lastDeltaP);
    };
    if constexpr (std::is_void_v<decltype(work(cell))>) {
        work(cell);
        settle();
    } else {
        auto result = work(cell);
        settle();
        return result;
    }
}

void PlainSite::preUpdate(double params[], BaseCell *neighbours[], Grid *grid, Vector3i position)
{
    read([&](SCCell &c) { c.preUpdate(params, neighbours, grid, position); });
}

void PlainSite::collide(double params[], BaseCell *neighbours[], Grid *grid, const Vector3i &position, double *out)
{
    read([&](SCCell &c) { c.collide(params, neighbours, grid, position, out); });
}

void PlainSite::reset(double p0, double p1)
{
    edit([&](SCCell &c) { c.reset(p0, p1); });
}

double PlainSite::getF(int i, int component)
{
    return read([&](SCCell &c) { return c.getF(i, component); });
}

double PlainSite::getNextF(int i, int component)
{
    return read([&](SCCell &c) { return c.getNextF(i, component); });
}

void PlainSite::setNextF(int i, double value, int component)
{
    read([&](SCCell &c) { c.setNextF(i, value, component); });
}

void PlainSite::passivate(QXmlStreamWriter &writer)
{
    read([&](SCCell &c) { c.passivate(writer); });
}

void PlainSite::activate(QXmlStreamReader &reader, Grid *grid)
{
    edit([&](SCCell &c) { c.activate(reader, grid); });
}

double PlainSite::getP(int component)
{
    return read([&](SCCell &c) { return c.getP(component); });
}

Vector3d PlainSite::getVelocity(int component)
{
    return read([&](SCCell &c) { return c.getVelocity(component); });
}

Vector3d PlainSite::getLatticeVelocity(int component)
{
    return read([&](SCCell &c) { return c.getLatticeVelocity(component); });
}

// The flip that follows makes the change current; until then nothing reads
// it again, so the handle keeps nothing.
double PlainSite::computeDeltaP()
{
    return read([](SCCell &c) { return c.computeDeltaP(); });
}

double PlainSite::getDeltaP()
{
    return read([](SCCell &c) { return c.getDeltaP(); });
}

Vector3d PlainSite::getForce(int component)
{
    return read([&](SCCell &c) { return c.getForce(component); });
}

void PlainSite::setF(double values[])
{
    edit([&](SCCell &c) { c.setF(values); });
}

BaseCell *PlainSite::clone(const SimulationParameters &parameters)
{
    return read([&](SCCell &c) { return c.clone(parameters); });
}

int PlainSite::modelQ()
{
    return read([](SCCell &c) { return c.modelQ(); });
}

double PlainSite::nextDensity() const
{
    return read([](SCCell &c) { return c.nextDensity(); });
}

double PlainSite::getP0() const
{
    return read([](SCCell &c) { return c.getP0(); });
}

Vector3d PlainSite::forceShift(double &tau) const
{
    return read([&](SCCell &c) { return c.forceShift(tau); });
}

void PlainSite::restore(double density, double delta, double values[])
{
    edit([&](SCCell &c) { c.restore(density, delta, values); });
}

void PlainSite::setEquilibrium(const Vector3d &velocity, double density)
{
    edit([&](SCCell &c) { c.setEquilibrium(velocity, density); });
}

SCCell *PlainSite::materialise() const
{
    return read([](SCCell &c) {
        return new SCCell(SCCell::View(), c.store, c.site, c.p0, c.lastDeltaP, c.deltaGeneration);
    });
}

bool PlainSite::isPlainFluid(const BaseCell *c)
{
    return c && (typeid(*c) == typeid(SCCell) || typeid(*c) == typeid(PlainSite));
}

const std::type_info &PlainSite::kindOf(const BaseCell *c)
{
    return typeid(*c) == typeid(PlainSite) ? typeid(SCCell) : typeid(*c);
}

double PlainSite::initialDensityOf(BaseCell *c)
{
    return typeid(*c) == typeid(PlainSite) ? static_cast<PlainSite *>(c)->getP0() : static_cast<SCCell *>(c)->getP0();
}

Vector3d PlainSite::forceShiftOf(BaseCell *c, double &tau)
{
    return typeid(*c) == typeid(PlainSite) ? static_cast<PlainSite *>(c)->forceShift(tau)
                                           : static_cast<SCCell *>(c)->forceShift(tau);
}

double PlainSite::nextDensityOf(BaseCell *c)
{
    return typeid(*c) == typeid(PlainSite) ? static_cast<PlainSite *>(c)->nextDensity()
                                           : static_cast<SCCell *>(c)->nextDensity();
}
