#pragma once

#include <QDialog>

#include <functional>

#include <memory>

namespace Ui {
class Parameters2;
}
class Grid;
class QLineEdit;
class SimulationParameters;
class UnitScales;

// The dialog behind "Parameters": edits the live grid's parameters and unit
// scales. Every edit acts at once (line edits on Return, combo boxes on
// selection, check boxes on click); a value that would make the simulation
// meaningless is refused, the field shows the previous value again and the
// dialog says why. It keeps no copy of the parameters beyond its widgets, so
// refresh() after a load shows the loaded values.
class Parameters2 : public QDialog
{
    Q_OBJECT

public:
    explicit Parameters2(Grid *grid, QWidget *parent = nullptr);
    ~Parameters2() override;

    // Shows the parameters' current values in every widget.
    void refresh();
    // The last refusal, empty when the last edit was applied.
    QString lastMessage() const;
    // Reads a grey mask image stretched over the grid's x and y: each fluid
    // site gets the solid density 1 - grey/255 (black solid, white free), the
    // same for every z. False with a message when the image cannot be read.
    bool loadPorousMask(const QString &path);

signals:
    // The lattice model changed: every cell must be rebuilt for it, and the view.
    void modelChanged(int q);
    // Cells were replaced or changed (the multicomponent kind, porous
    // fractions): the view draws them anew.
    void cellsChanged();

private slots:
    void on_model_currentIndexChanged(int index);
    void on_velocityOrder_returnPressed();
    void on_epsilon_returnPressed();
    void on_dx_returnPressed();
    void on_kinematicViscosity_returnPressed();
    void on_dm_returnPressed();
    void on_material_currentIndexChanged(int index);
    void on_fluidOrder_currentIndexChanged(int index);
    void on_minP0_returnPressed();
    void on_maxP0_returnPressed();
    void on_sourceVelocity_returnPressed();
    void on_sourcePressure_returnPressed();
    void on_inletOrder_currentIndexChanged(int index);
    void on_inletFormula_textEdited(const QString &text);
    void on_outletStrategy_currentIndexChanged(int index);
    void on_movingVelocity_returnPressed();
    void on_movingVelocityY_returnPressed();
    void on_periodicBoundaries_clicked(bool checked);
    void on_gravityEnable_clicked(bool checked);
    void on_gravity_returnPressed();
    void on_mpG_returnPressed();
    void on_mpPsi0_returnPressed();
    void on_mpP0_returnPressed();
    void on_mpGads_returnPressed();
    void on_mcQuantity_currentIndexChanged(int index);
    void on_mcType_currentIndexChanged(int index);
    void on_mcG_returnPressed();
    void on_mcGads_returnPressed();
    void on_mcGads2_returnPressed();
    void on_externalForceStrengthX_returnPressed();
    void on_externalForceStrengthY_returnPressed();
    void on_externalForceMinX_returnPressed();
    void on_externalForceMaxX_returnPressed();
    void on_externalForceMinY_returnPressed();
    void on_externalForceMaxY_returnPressed();
    void on_externalForcePeriod_returnPressed();
    void on_porousSolidDensity_returnPressed();
    void on_porousVariation_returnPressed();
    void on_shallowG_returnPressed();
    void on_shallowNB_returnPressed();
    void on_entropic_clicked(bool checked);
    void on_singlePopulations_clicked(bool checked);
    void on_smagorinsky_returnPressed();
    void on_slipCoefficient_returnPressed();
    void on_anodeCathodeFactor_returnPressed();
    void on_thermalGravity_returnPressed();
    void on_thermalIndex_currentIndexChanged(int index);
    void on_thermal1_returnPressed();
    void on_thermalExpansion_returnPressed();
    void on_depositionRate_returnPressed();
    void on_nanoFraction_returnPressed();
    void on_nanoDensity_returnPressed();
    void on_nanoHeatCapacitance_returnPressed();
    void on_nanoThermalConductivity_returnPressed();
    void on_nanoThermalExpansion_returnPressed();
    void on_nanoparticles_currentIndexChanged(int index);
    void on_activateKorner_clicked(bool checked);
    void on_kornerSolidEnergy_returnPressed();
    void on_kornerLiquidEnergy_returnPressed();
    void on_ebmPower_returnPressed();
    void on_ebmStdDev_returnPressed();
    void on_ebmStartX_returnPressed();
    void on_ebmVelocity_returnPressed();
    void on_ebmTimesteps_returnPressed();
    void on_updateInitial_clicked();
    void on_updateConstant_clicked();
    void on_regionAll_clicked();
    void on_regionCenter_clicked();
    void on_loadMaskPorousMedia_clicked();

private:
    // Reads a real from the field; refuses (restoring the shown value of
    // previous and saying why) when it does not parse, is not finite or lies
    // outside [min, max] (open at the ends marked so).
    // The box of the initial-value group, counted from 0; false with a
    // message when a bound is not a whole number.
    bool regionBox(int box[6]);
    // Gives the plain fluid and porous cells of the box the solid density
    // solid(x, y); other kinds are left as they are.
    void makePorous(const int box[6], const std::function<double(int, int)> &solid);
    // The strategy position the inlets and outlets of the grid run: 1
    // equilibrium, 2 fixed flux (with extrapolation outlets), 3 Zou and He
    // when all of them run it; 0 when they differ; the stored choice when
    // the grid has none.
    int strategyInForce() const;
    // Replaces the external force with the values of its seven fields.
    void applyExternalForce();
    bool readReal(QLineEdit *field, double previous, double min, double max, bool openMin, const QString &what,
                  double *value);
    void refuse(QLineEdit *field, double previous, const QString &why);
    void accept();
    void recomputeUnits();
    void showPhysicalSpeeds();
    void applyNano();
    void applyMulticomponent();
    void applyMultiphase();
    void applyPorous();
    void applyEnergies();
    void applyBeam();
    static QString number(double v);

    std::unique_ptr<Ui::Parameters2> ui;
    Grid *grid;
    SimulationParameters *parameters;
    UnitScales *scales;
    int materialOf[3] = {0, 0, 0};
    QString message;
};
