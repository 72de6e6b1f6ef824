#pragma once

#include "../documentsection.h"
#include "scalarsource.h"

#include <QList>
#include <QRgb>

class BaseCell;
class Grid;
class PassiveScalarCell;

// The coloured scalar sources of one grid and their transport constants.
// While at least one source exists every cell of the grid is wrapped in a
// PassiveScalarCell (type 1, lattice-Boltzmann colours) or a
// MomentPropagationCell (other types) that carries one colour per source;
// removing the last source unwraps every cell again. Changing the sources
// rebuilds the wrapping (apply), so it must happen between iterations.
class ScalarTracerSettings : public DocumentSection
{
public:
    // Colours beyond this are refused (a document cannot ask for more).
    static constexpr int MaxColours = 64;

    explicit ScalarTracerSettings(Grid *grid) : grid(grid) {}

    // Appends the source, stores the type and rewraps; false when the
    // colour limit is reached.
    bool addSource(const ScalarSource &source, int type);
    // Removes every source with that id and rewraps with the stored type.
    void removeSource(int id);
    // Removes every source, which unwraps every cell.
    void clearSources();
    // Puts every wrapper's colours back to the initial concentration.
    void reinitialiseColours();
    // The first source with that id, or null.
    const ScalarSource *source(int id) const;
    const QList<ScalarSource> &sources() const { return sourceList; }
    int colourCount() const { return sourceList.size(); }
    // The display colours of the sources, in list order.
    const QList<QRgb> &colourTable() const { return table; }

    // Wraps (or unwraps, with no source) every cell of the grid, clears the
    // colours and source marks, then marks the source boxes.
    void apply(int type);
    // After a new geometry: wraps the fresh cells again when sources exist.
    void refresh();
    // A cell about to be placed at (x, y, z): wrapped as wrapAll wraps a
    // fresh cell while sources exist (the cell itself otherwise, or when it
    // is a wrapper already).
    BaseCell *wrapNew(BaseCell *cell, int x, int y, int z) const;
    // Puts every wrapped cell back in its place, keeping the sources (for
    // edits that rebuild the cells; refresh wraps them again).
    void unwrapAll();
    // After the grid was refined by factor in x and y (each old site became
    // a factor x factor block of copies): the source boxes cover the blocks
    // of the sites they covered, the copied wrappers keep their colours and
    // the cells that were not copied are wrapped afresh.
    void refined(int factor);

    double getEpsilon() const { return epsilon; }
    void setEpsilon(double v) { epsilon = v; }
    int getInjectionPeriod() const { return injectionPeriod; }
    void setInjectionPeriod(int v) { injectionPeriod = v; }
    int getInjectionTime() const { return injectionTime; }
    void setInjectionTime(int v) { injectionTime = v; }
    int getType() const { return type; }
    double getInitialConcentration() const { return initialConcentration; }
    void setInitialConcentration(double v) { initialConcentration = v; }
    double getFixedConcentration() const { return fixedConcentration; }
    void setFixedConcentration(double v) { fixedConcentration = v; }
    // Whether epsilon gives the lattice-Boltzmann colours no diffusion (or
    // an unstable negative one): tau <= 0.5.
    bool epsilonWithoutDiffusion() const { return type == 1 && !(epsilon > 0.5); }

    // What a source cell with this fixed concentration emits at the given
    // iteration: nothing outside the injection window of each period.
    double emission(double fixed, int iteration) const
    {
        if (injectionPeriod > 0 && iteration % injectionPeriod >= injectionTime)
            return 0.0;
        return fixed;
    }

    // The "passivescalarsingleton" element.
    void write(QXmlStreamWriter &writer) const override;
    // Reads the settings and sources after the document's cells are in
    // place: wrappers read from the document keep their colours; cells the
    // document left unwrapped are wrapped afresh. On a malformed element the
    // settings stay as they were and false is returned with the reason.
    bool read(QXmlStreamReader &reader, QString *error) override;

private:
    void rebuildTable();
    // Wraps every plain cell; wrappers whose colour count is not K are
    // reset like new ones. keepRead leaves the others untouched.
    void wrapAll(int type, bool keepRead);
    // A fresh wrapper's colours (zero) and its source mark.
    void prepareFresh(PassiveScalarCell *wrapper, int x, int y, int z) const;
    void markSources();

    Grid *grid;
    QList<ScalarSource> sourceList;
    QList<QRgb> table;
    // Colours spread with (epsilon - 1/2) / 3: at 0.5 they would not diffuse
    // and fill the field with checkerboard noise. 0.8 also suits moment
    // propagation, whose fraction must stay below 1.
    double epsilon = 0.8;
    int injectionPeriod = 0;
    int injectionTime = 0;
    int type = 1;
    double initialConcentration = 0.0;
    double fixedConcentration = 1.0;
};
