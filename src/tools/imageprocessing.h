#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QMainWindow>
#include <QMap>
#include <QString>

#include <functional>
#include <memory>

namespace Ui {
class ImageProcessing;
}

class QGraphicsScene;
class QGraphicsView;
class QModelIndex;
class QPushButton;
class QStringListModel;

// A window that turns a photograph or scan into a clean mask of a few flat
// colours: the image is smoothed with a box average, then every pixel takes
// the "to" colour of the mapping whose "from" colour is nearest, when the
// squared RGB distance is below the tolerance, and the default colour
// otherwise. The source is shown on the left, the mask on the right.
class ImageProcessing : public QMainWindow
{
    Q_OBJECT

public:
    // The largest image the window opens, in pixels; larger ones are refused
    // from their header before any pixel memory is taken.
    static constexpr long long MaxPixels = 1LL << 25;

    explicit ImageProcessing(QWidget *parent = nullptr);
    ~ImageProcessing() override;

    // The mask of source: box smoothing of the given radius, worked in place
    // in scan order (x outer, y inner) so earlier means feed later ones, then
    // classification against the mappings in ascending key order (the first
    // of equally near mappings wins; a squared distance equal to the
    // tolerance or above gives the default colour).
    static QImage process(const QImage &source, int radius, double tolerance, QRgb defaultColour,
                          const QMap<int, QColor> &from, const QMap<int, QColor> &to);

    // The box smoothing of process alone.
    static QImage smoothed(const QImage &source, int radius);

    // Loads an image file into the source and processes it; false, with a
    // message, when the file cannot be read or is too large.
    bool loadImage(const QString &path);
    QImage sourceImage() const { return source; }
    QImage processedImage() const { return processed; }
    // The explanation of the last refused command.
    QString message() const { return lastMessage; }

    // Asks for a colour starting at the given one; an invalid colour means
    // cancelled. A colour dialog unless replaced.
    void setColorChooser(std::function<QColor(const QColor &)> chooser) { chooseColor = std::move(chooser); }
    // Asks Save for the mask's file name, empty when cancelled; ".png" is
    // added to a name without a suffix. A save dialog unless replaced.
    void setFileNameChooser(std::function<QString()> chooser) { chooseFileName = std::move(chooser); }

private slots:
    void on_actionOpen_triggered();
    void on_actionSave_triggered();
    void on_actionOnly_Left_triggered();
    void on_actionOnly_Right_triggered();
    void on_actionAll_triggered();
    void on_defaultColor_clicked();
    void on_fromColor_clicked();
    void on_toColor_clicked();
    void on_add_clicked();
    void on_colors_clicked(const QModelIndex &index);
    void on_remove_clicked();
    void on_tolerance_returnPressed();
    void on_average_returnPressed();

private:
    void runProcessing();
    void showImage(QGraphicsView *view, std::unique_ptr<QGraphicsScene> &scene, const QImage &image);
    void refuse(const QString &title, const QString &text);
    void saveSplitter();

    std::unique_ptr<Ui::ImageProcessing> ui;
    QImage source;
    QImage processed;
    QColor defaultColour = Qt::white;
    QColor fromColour = Qt::white;
    QColor toColour = Qt::white;
    QMap<int, QColor> fromColours;
    QMap<int, QColor> toColours;
    int nextKey = 1;
    QStringListModel *keys = nullptr;
    QByteArray splitterState;
    std::unique_ptr<QGraphicsScene> sourceScene;
    std::unique_ptr<QGraphicsScene> processedScene;
    QString lastMessage;
    std::function<QColor(const QColor &)> chooseColor;
    std::function<QString()> chooseFileName;
};
