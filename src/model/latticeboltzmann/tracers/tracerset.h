#pragma once

#include "../documentsection.h"
#include "traceremitter.h"
#include "tracerregion.h"

#include <QList>

#include <cstdint>
#include <vector>

class Grid;

// Tracer particles released from box regions and carried by the flow: every
// emitter releases one point per iteration; points move by the amplified
// local fluid velocity plus an optional random jitter (first two
// coordinates) and vanish when they leave the fluid. Tracers never act on
// the flow. The grid advances the set once per iteration.
class TracerSet : public DocumentSection
{
public:
    explicit TracerSet(Grid *grid) : grid(grid) {}
    virtual ~TracerSet() = default;

    // One step of every emitter, in list order.
    virtual void step();
    // Called after a new geometry is loaded: the trails start again.
    virtual void refresh() { regenerate(); }
    virtual void clear() { removeAllRegions(); }

    void addRegion(const TracerRegion &region);
    void removeRegion(int id);
    void removeAllRegions();
    // The first region with that id, or null.
    const TracerRegion *findRegion(int id) const;
    const QList<TracerRegion> &regions() const { return regionList; }
    const std::vector<TracerEmitter> &emitters() const { return emitterList; }
    void resetTrails(int id);
    void resetAllTrails();

    int getGridSpacing() const { return gridSpacing; }
    // Spacings below 1 are taken as 1.
    void setGridSpacing(int n);
    int getAmplification() const { return amplification; }
    void setAmplification(int a) { amplification = a; }
    double getDiffusion() const { return diffusion; }
    void setDiffusion(double d) { diffusion = d; }
    int getInjectionPeriod() const { return injectionPeriod; }
    void setInjectionPeriod(int v) { injectionPeriod = v; }
    int getInjectionTime() const { return injectionTime; }
    void setInjectionTime(int v) { injectionTime = v; }
    // Points beyond this many per trail are dropped, oldest first (a closed
    // cavity would otherwise fill the memory). At least 1.
    int getTrailCap() const { return trailCap; }
    void setTrailCap(int n);
    // Restarts the jitter's pseudo-random sequence.
    void setSeed(std::uint64_t seed) { randomState = seed ? seed : DefaultSeed; }

    // The "particles" element: the settings and regions, then the state of
    // the run (the jitter's generator and the trails) so that a saved run
    // continues exactly; documents without that state restart the trails.
    void write(QXmlStreamWriter &writer) const override;
    bool read(QXmlStreamReader &reader, QString *error) override;

protected:
    Grid *grid;

private:
    static constexpr std::uint64_t DefaultSeed = 0x9e3779b97f4a7c15ull;
    void regenerate();
    // The trail cap, lowered so that all trails together stay in budget.
    std::size_t effectiveCap() const;
    void advance(TracerEmitter &emitter, std::size_t cap);
    // A uniform integer in 0..32767 (xorshift64*).
    int random15()
    {
        randomState ^= randomState >> 12;
        randomState ^= randomState << 25;
        randomState ^= randomState >> 27;
        return int((randomState * 0x2545f4914f6cdd1dull) >> 49);
    }

    QList<TracerRegion> regionList;
    std::vector<TracerEmitter> emitterList;
    int amplification = 50;
    double diffusion = 0.0;
    int gridSpacing = 1;
    int injectionPeriod = 0;
    int injectionTime = 0;
    int trailCap = 500;
    std::uint64_t randomState = DefaultSeed;
};
