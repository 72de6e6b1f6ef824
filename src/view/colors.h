#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class Colors;
}

class QGLWidget;
class QXmlStreamReader;
class QXmlStreamWriter;
class Renderer;

// The colour-bar settings: where the bar and its labels sit in the view, the
// colour ramp, and a preview strip of the ramp over the current range.
class Colors : public QDialog
{
    Q_OBJECT

public:
    // view is repainted after every change; it may be null.
    Colors(Renderer *renderer, QGLWidget *view, QWidget *parent = nullptr);
    ~Colors() override;

    // The "colors" element of a saved state.
    void write(QXmlStreamWriter &writer) const;
    // Reads the element when the reader stands on it, then moves on to the
    // next start or end element.
    void read(QXmlStreamReader &reader);

    // Redraws the preview for the range centred on centre, with a quarter of
    // the range given.
    void refreshPreview(double centre, double quarter);
    double previewCentre() const { return centre; }
    double previewQuarter() const { return quarter; }
    QString tickText(int index) const;

private slots:
    void on_x_returnPressed();
    void on_y_returnPressed();
    void on_width_returnPressed();
    void on_height_returnPressed();
    void on_captionX_returnPressed();
    void on_captionY_returnPressed();
    void on_captionPt_returnPressed();
    void on_colorStyle_currentIndexChanged(int index);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Sets the bar geometry from the entries; an entry that is not a number
    // keeps the value in use.
    void applyEntries();
    void rebuildPreview();
    void repaintView();

    std::unique_ptr<Ui::Colors> ui;
    Renderer *renderer;
    QGLWidget *view;
    double centre = 0.15;
    double quarter = 0.075;
    bool previewStale = true;
};
