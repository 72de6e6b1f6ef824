#pragma once

#include <QString>

class QXmlStreamReader;
class QXmlStreamWriter;

// Conversion between lattice units and physical units.
class UnitScales
{
public:
    double getDx() const { return dx; }
    double getDt() const { return dt; }
    double getDm() const { return dm; }
    void setDx(double v) { dx = v; }
    void setDt(double v) { dt = v; }
    void setDm(double v) { dm = v; }

    double latticeSpeed(double physical) const { return physical * dt / dx; }
    double physicalSpeed(double lattice) const { return lattice * dx / dt; }
    double physicalViscosity(double lattice) const { return lattice * dx * dx / dt; }
    double latticeViscosity(double physical) const { return physical * dt / (dx * dx); }
    // dt = dx^2 (tau - 0.5) / (3 nu)
    static double timeStep(double dx, double physicalViscosity, double tau)
    {
        return dx * dx * (tau - 0.5) / (3.0 * physicalViscosity);
    }
    // Stores dx and the time step that gives the physical viscosity at tau.
    void setSpacingAndViscosity(double newDx, double physicalViscosity, double tau)
    {
        dx = newDx;
        dt = timeStep(newDx, physicalViscosity, tau);
    }
    static double viscosityOfTau(double tau) { return (tau - 0.5) / 3.0; }

    // The attributes "dx", "dt", "dm" of the "parameters" element.
    void passivate(QXmlStreamWriter &writer) const;
    // Reads them from the current element and leaves the reader on its end;
    // a value that is not a positive number leaves all three unchanged.
    bool activate(QXmlStreamReader &reader, QString *error = nullptr);

private:
    double dx = 1e-6;
    double dt = 1.6666666666666665e-07;
    double dm = 8e-18;
};
