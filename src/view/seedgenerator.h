#pragma once

#include "streamlinegenerator.h"

#include <memory>

class StreamLineAlgorithm;

// Streamlines from a regular lattice of seeds, each followed backward and
// forward by fixed numbers of steps of its algorithm. "eulerIntegrationStep" sets the
// step length of a fixed-step integrator; the next-cell algorithm chooses its
// own steps and ignores it.
class SeedGenerator : public StreamLineGenerator
{
    Q_OBJECT

public:
    // The algorithm: the next-cell one by default.
    explicit SeedGenerator(Grid &grid, StreamLineAlgorithm *algorithm = nullptr);
    ~SeedGenerator() override;

    QVector<StreamLine> generate() override;
    void changeProperty(const QString &name, const QString &value) override;

private:
    std::unique_ptr<StreamLineAlgorithm> algorithm;
};
