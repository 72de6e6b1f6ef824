#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class View2;
}

class LBWidget;
class QCheckBox;
class QLabel;
class QSlider;
class Renderer;

// "View2": the plane filters. Per axis, a min and a max slider bound the
// range of lattice coordinates drawn, and a fixed slider moves both to one
// coordinate, so a single slice of a 3D domain can be swept through it. The
// whole-plane boxes draw every point of a range as that plane's faces.
class View2 : public QDialog
{
    Q_OBJECT

public:
    explicit View2(LBWidget *widget, QWidget *parent = nullptr);
    ~View2() override;

    QSlider *slider(const QString &name) const;
    QCheckBox *checkBox(const QString &name) const;
    QString labelText(const QString &name) const;

protected:
    // Brings the sliders to the renderer's ranges, which a new geometry resets.
    void showEvent(QShowEvent *event) override;

private slots:
    void on_allZ_clicked();
    void on_allY_clicked();
    void on_allX_clicked();
    void on_fixedZ_valueChanged(int value);
    void on_maxZ_valueChanged(int value);
    void on_minZ_valueChanged(int value);
    void on_fixedY_valueChanged(int value);
    void on_maxY_valueChanged(int value);
    void on_minY_valueChanged(int value);
    void on_fixedX_valueChanged(int value);
    void on_maxX_valueChanged(int value);
    void on_minX_valueChanged(int value);
    void on_xyPlane_clicked();
    void on_xzPlane_clicked();
    void on_yzPlane_clicked();
    void on_wholePlane1_clicked();
    void on_wholePlane2_clicked();
    void on_wholePlane3_clicked();

private:
    void repaint();
    // The lattice coordinate of slider value v on an axis.
    int coordinate(int axis, int v) const;
    int cells(int axis) const;
    void minChanged(int axis, int v);
    void maxChanged(int axis, int v);
    void fixedChanged(int axis, int v);
    void all(int axis);
    void applyFaceMask();
    void applyPlanes();

    std::unique_ptr<Ui::View2> ui;
    LBWidget *widget;
    Renderer &renderer;
    QSlider *mins[3] = {};
    QSlider *maxs[3] = {};
    QSlider *fixeds[3] = {};
    QLabel *minLabels[3] = {};
    QLabel *maxLabels[3] = {};
    // Set while the fixed slider moves min and max of its axis.
    bool fixing[3] = {false, false, false};
};
