#pragma once

#include <QDockWidget>

#include <memory>

namespace Ui {
class View;
}

class ImprovedLineEdit;
class LBWidget;
class PainterConfig;
class QCheckBox;
class QXmlStreamReader;
class QXmlStreamWriter;
class Renderer;

// The View dock: painter, colour range, scales, layer toggles and camera
// entries. Entries apply on Return; a text that is not a number, or a value
// that makes no sense (a zoom or group of 0, Min not below Max), is refused
// and the entry shows the value in use again. The dock is saved in the state
// document as the element "view".
class View : public QDockWidget
{
    Q_OBJECT

public:
    explicit View(LBWidget *widget, QWidget *parent = nullptr);
    ~View() override;

    PainterConfig *painterConfig() const { return config; }
    ImprovedLineEdit *entry(const QString &name) const;
    QCheckBox *checkBox(const QString &name) const;

    // Read-backs of the renderer and the camera.
    void showRange();
    void showZoom(double zoom);
    void showAngles(int roll, int pitch, int yaw);
    void showTranslation(double x, double y, double z);
    // Applies the angle entries to the camera; used by the animation.
    void applyAngles();

    // The main window's menu: painters "velocity", "pressure", "arrow" and
    // "detail", and toggles "axis", "static", "dynamic" and "particles".
    void selectPainterByName(const QString &name);
    void clickToggleByName(const QString &name);

    void write(QXmlStreamWriter &writer) const;
    // Reads the element when the reader stands on it, then moves to the next
    // start element.
    void read(QXmlStreamReader &reader);

private slots:
    void on_zoom_returnPressed();
    void on_roll_returnPressed();
    void on_yaw_returnPressed();
    void on_pitch_returnPressed();
    void on_cellsSize2_returnPressed();
    void on_resetProjection_clicked();
    void on_arrowSteps_returnPressed();
    void on_colorSteps_returnPressed();
    void on_showParticles_toggled(bool);
    void on_continuousAutoAdjust_clicked();
    void on_autoAdjust_clicked();
    void on_updatePeriod_returnPressed();
    void on_colorInterval_returnPressed();
    void on_colorOffset_returnPressed();
    void on_painter_currentIndexChanged(const QString &name);
    void on_showDynamic_stateChanged(int);
    void on_showStatic_stateChanged(int);
    void on_cellsSize_returnPressed();
    void on_allView_clicked();
    void on_showColorBar_toggled(bool);
    void on_colorComponent_returnPressed();
    void on_illumination_toggled(bool);
    void on_showAxis_toggled(bool);
    void on_tx_returnPressed();
    void on_ty_returnPressed();
    void on_tz_returnPressed();
    void on_show2ndDistribution_toggled(bool);
    void on_configurePainter_clicked();
    void on_showIsolines_toggled(bool);
    void on_heightmap_toggled(bool);
    void on_showForces_toggled(bool);
    void on_showStreamlines_toggled(bool);

private:
    // Brings the form's selector and check boxes to the renderer's state.
    void syncForm();
    void repaint();
    void applyRange();
    void applyTranslation();
    void showScales();
    // The number in an entry; false when the text is not one.
    bool number(const QString &name, double &value) const;
    bool integer(const QString &name, int &value) const;
    void setText(const QString &name, const QString &text);

    LBWidget *widget;
    Renderer &renderer;
    std::unique_ptr<Ui::View> ui;
    PainterConfig *config = nullptr;
};
