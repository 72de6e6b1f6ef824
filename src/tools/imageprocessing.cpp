#include "imageprocessing.h"
#include "ui_imageprocessing.h"

#include "app/notice.h"
#include "savefilename.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QImageReader>
#include <QSaveFile>
#include <QStringListModel>

#include <algorithm>
#include <vector>

namespace {

void paintButton(QPushButton *button, const QColor &colour)
{
    button->setStyleSheet(QStringLiteral("background-color: ") + colour.name());
}

} // namespace

ImageProcessing::ImageProcessing(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::ImageProcessing), keys(new QStringListModel(this))
{
    ui->setupUi(this);
    ui->colors->setModel(keys);
    ui->splitter->setStretchFactor(0, 1);
    ui->splitter->setStretchFactor(1, 0);
    ui->splitter->setStretchFactor(2, 1);
    for (QPushButton *button : {ui->defaultColor, ui->fromColor, ui->toColor})
        paintButton(button, Qt::white);
    chooseColor = [this](const QColor &initial) { return QColorDialog::getColor(initial, this); };
    chooseFileName = [this] {
        return SaveFileName::ask(this, QStringLiteral("Save"), QStringLiteral("*.png"), QStringLiteral("png"));
    };
}

ImageProcessing::~ImageProcessing() = default;

namespace {

// Sums of one channel set over a column stretch.
struct Sum
{
    long long red = 0, green = 0, blue = 0;

    void add(QRgb c, int sign)
    {
        red += sign * qRed(c);
        green += sign * qGreen(c);
        blue += sign * qBlue(c);
    }
};

// The box mean of radius r worked in place in scan order (x outer, y inner),
// so means already replaced feed the later ones. Each column of the window
// keeps its sum over the window's rows; moving down a row adds and removes
// one entry per column, and replacing an entry corrects its column's sum,
// so the result equals summing every window afresh at (2r+1) instead of
// (2r+1)^2 operations per pixel.
void smoothInPlace(std::vector<QRgb> &entries, int w, int h, int r)
{
    if (r < 0 || 2 * r + 1 > w || 2 * r + 1 > h)
        return;
    const long long area = (2LL * r + 1) * (2LL * r + 1);
    auto at = [&](int x, int y) -> QRgb & { return entries[std::size_t(x) + std::size_t(w) * std::size_t(y)]; };
    std::vector<Sum> columns(std::size_t(2 * r + 1));
    for (int x = r; x < w - r; ++x) {
        for (int i = 0; i <= 2 * r; ++i) {
            columns[i] = Sum();
            for (int j = 0; j <= 2 * r; ++j)
                columns[i].add(at(x - r + i, j), 1);
        }
        for (int y = r; y < h - r; ++y) {
            if (y > r)
                for (int i = 0; i <= 2 * r; ++i) {
                    columns[i].add(at(x - r + i, y - r - 1), -1);
                    columns[i].add(at(x - r + i, y + r), 1);
                }
            Sum total;
            for (const Sum &c : columns) {
                total.red += c.red;
                total.green += c.green;
                total.blue += c.blue;
            }
            QRgb &entry = at(x, y);
            const QRgb mean = qRgba(int(total.red / area), int(total.green / area), int(total.blue / area), 255);
            columns[r].add(entry, -1);
            columns[r].add(mean, 1);
            entry = mean;
        }
    }
}

std::vector<QRgb> entriesOf(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int w = rgb.width(), h = rgb.height();
    std::vector<QRgb> entries(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        std::copy(line, line + w, entries.begin() + std::ptrdiff_t(w) * y);
    }
    return entries;
}

} // namespace

QImage ImageProcessing::smoothed(const QImage &source, int radius)
{
    const int w = source.width(), h = source.height();
    std::vector<QRgb> entries = entriesOf(source);
    smoothInPlace(entries, w, h, radius);
    QImage result(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        std::copy_n(entries.begin() + std::ptrdiff_t(w) * y, w, reinterpret_cast<QRgb *>(result.scanLine(y)));
    return result;
}

QImage ImageProcessing::process(const QImage &source, int radius, double tolerance, QRgb defaultColour,
                                const QMap<int, QColor> &from, const QMap<int, QColor> &to)
{
    const int w = source.width(), h = source.height();
    QImage result(w, h, QImage::Format_RGB32);
    if (result.isNull())
        return result;
    std::vector<QRgb> entries = entriesOf(source);
    smoothInPlace(entries, w, h, std::max(0, radius));

    std::vector<QRgb> fromList, toList;
    for (auto it = from.constBegin(); it != from.constEnd(); ++it) {
        fromList.push_back(it.value().rgb());
        toList.push_back(to.value(it.key()).rgb());
    }
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb c = entries[std::size_t(x) + std::size_t(w) * y];
            QRgb out = defaultColour;
            if (!fromList.empty()) {
                std::size_t best = 0;
                long long bestDistance = -1;
                for (std::size_t k = 0; k < fromList.size(); ++k) {
                    const long long db = qBlue(c) - qBlue(fromList[k]);
                    const long long dg = qGreen(c) - qGreen(fromList[k]);
                    const long long dr = qRed(c) - qRed(fromList[k]);
                    const long long d = db * db + dg * dg + dr * dr;
                    if (bestDistance < 0 || d < bestDistance) {
                        bestDistance = d;
                        best = k;
                    }
                }
                if (tolerance > double(bestDistance))
                    out = toList[best];
            }
            line[x] = out | 0xff000000u;
        }
    }
    return result;
}

void ImageProcessing::refuse(const QString &title, const QString &text)
{
    lastMessage = text;
    showNotice(this, title, text);
}

bool ImageProcessing::loadImage(const QString &path)
{
    QImageReader reader(path);
    const QSize size = reader.size();
    if (!size.isValid()) {
        refuse(tr("Open"), tr("Cannot read %1: %2").arg(path, reader.errorString()));
        return false;
    }
    if (1LL * size.width() * size.height() > MaxPixels) {
        refuse(tr("Open"), tr("%1 is %2 x %3 pixels; images of at most %4 pixels can be processed.")
                               .arg(path)
                               .arg(size.width())
                               .arg(size.height())
                               .arg(MaxPixels));
        return false;
    }
    QImage image;
    if (!reader.read(&image)) {
        refuse(tr("Open"), tr("Cannot read %1: %2").arg(path, reader.errorString()));
        return false;
    }
    lastMessage.clear();
    source = image;
    showImage(ui->sourceView, sourceScene, source);
    runProcessing();
    return true;
}

void ImageProcessing::showImage(QGraphicsView *view, std::unique_ptr<QGraphicsScene> &scene, const QImage &image)
{
    auto next = std::make_unique<QGraphicsScene>();
    next->addItem(new QGraphicsPixmapItem(QPixmap::fromImage(image)));
    view->setScene(next.get());
    scene = std::move(next);
}

void ImageProcessing::runProcessing()
{
    processed = process(source, ui->average->text().toInt(), ui->tolerance->text().toDouble(), defaultColour.rgb(),
                        fromColours, toColours);
    showImage(ui->processedView, processedScene, processed);
}

void ImageProcessing::on_actionOpen_triggered()
{
    const QString name =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open"), QString(), QStringLiteral("Images (*.png *.tiff)"));
    if (!name.isEmpty())
        loadImage(name);
}

void ImageProcessing::on_actionSave_triggered()
{
    // A mask saved without ".png" could not be opened as one again.
    const QString name = SaveFileName::withSuffix(chooseFileName(), QStringLiteral("png"));
    if (name.isEmpty())
        return;
    if (processed.isNull()) {
        refuse(tr("Save"), tr("There is no mask to save: open an image first."));
        return;
    }
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || !processed.save(&file, "PNG") || !file.commit())
        refuse(tr("Save"), tr("Could not write %1: %2").arg(name, file.errorString()));
}

void ImageProcessing::saveSplitter()
{
    if (splitterState.isEmpty())
        splitterState = ui->splitter->saveState();
}

void ImageProcessing::on_actionOnly_Left_triggered()
{
    saveSplitter();
    ui->splitter->setSizes({ui->splitter->width(), 0, 0});
}

void ImageProcessing::on_actionOnly_Right_triggered()
{
    saveSplitter();
    ui->splitter->setSizes({0, 0, ui->splitter->width()});
}

void ImageProcessing::on_actionAll_triggered()
{
    ui->splitter->restoreState(splitterState);
}

void ImageProcessing::on_defaultColor_clicked()
{
    const QColor chosen = chooseColor(defaultColour);
    if (!chosen.isValid())
        return;
    defaultColour = chosen;
    paintButton(ui->defaultColor, chosen);
    runProcessing();
}

void ImageProcessing::on_fromColor_clicked()
{
    const QColor chosen = chooseColor(fromColour);
    if (!chosen.isValid())
        return;
    fromColour = chosen;
    paintButton(ui->fromColor, chosen);
}

void ImageProcessing::on_toColor_clicked()
{
    const QColor chosen = chooseColor(toColour);
    if (!chosen.isValid())
        return;
    toColour = chosen;
    paintButton(ui->toColor, chosen);
}

void ImageProcessing::on_add_clicked()
{
    fromColours.insert(nextKey, fromColour);
    toColours.insert(nextKey, toColour);
    const int row = keys->rowCount();
    keys->insertRows(row, 1);
    keys->setData(keys->index(row), QString::number(nextKey));
    ++nextKey;
    runProcessing();
}

void ImageProcessing::on_colors_clicked(const QModelIndex &index)
{
    const int key = index.data().toString().toInt();
    if (!fromColours.contains(key))
        return;
    fromColour = fromColours.value(key);
    toColour = toColours.value(key);
    paintButton(ui->fromColor, fromColour);
    paintButton(ui->toColor, toColour);
}

void ImageProcessing::on_remove_clicked()
{
    const QModelIndex index = ui->colors->currentIndex();
    if (index.isValid() && ui->colors->selectionModel()->isSelected(index)) {
        const int key = index.data().toString().toInt();
        fromColours.remove(key);
        toColours.remove(key);
        keys->removeRows(index.row(), 1);
    }
    fromColour = Qt::white;
    toColour = Qt::white;
    ui->fromColor->setStyleSheet(QStringLiteral("background-color: #ffffff"));
    ui->toColor->setStyleSheet(QStringLiteral("background-color: #ffffff"));
    runProcessing();
}

void ImageProcessing::on_tolerance_returnPressed()
{
    runProcessing();
}

void ImageProcessing::on_average_returnPressed()
{
    runProcessing();
}
