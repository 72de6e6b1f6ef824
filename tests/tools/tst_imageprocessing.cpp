#include "tools/imageprocessing.h"

#include <QAction>
#include <QImageWriter>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSplitter>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QtTest>

#include <random>

namespace {

constexpr QRgb Brick = qRgb(190, 60, 40);
constexpr QRgb Sand = qRgb(220, 200, 120);
constexpr QRgb Moss = qRgb(40, 120, 50);

// The region of a synthetic 90 x 60 photograph: brick on the left, sand
// on the right and a moss disc in the middle of the sand.
QRgb regionAt(int x, int y)
{
    if ((x - 60) * (x - 60) + (y - 30) * (y - 30) <= 12 * 12)
        return Moss;
    return x < 30 ? Brick : Sand;
}

// True when the 5 x 5 neighbourhood of (x, y) lies in one region, so the
// smoothing cannot mix regions there.
bool inside(int x, int y)
{
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            if (regionAt(std::clamp(x + dx, 0, 89), std::clamp(y + dy, 0, 59)) != regionAt(x, y))
                return false;
    return true;
}

QImage photograph()
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-15, 15);
    QImage image(90, 60, QImage::Format_RGB32);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 90; ++x) {
            const QRgb c = regionAt(x, y);
            image.setPixel(x, y, qRgb(qRed(c) + noise(random), qGreen(c) + noise(random), qBlue(c) + noise(random)));
        }
    return image;
}

} // namespace

class TestImageProcessing : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    // The documented thresholds on flat images: a squared distance equal to
    // the tolerance gives the default colour, ties go to the smaller key, no
    // mapping gives a uniform default field, and an image narrower than the
    // smoothing window is left as it is.
    void thresholds_data()
    {
        QTest::addColumn<QRgb>("pixel");
        QTest::addColumn<double>("tolerance");
        QTest::addColumn<int>("mappings");
        QTest::addColumn<QRgb>("expected");
        QTest::newRow("just inside") << qRgb(110, 100, 100) << 100.5 << 2 << qRgb(255, 0, 0);
        QTest::newRow("on the tolerance") << qRgb(110, 100, 100) << 100.0 << 2 << qRgb(9, 9, 9);
        QTest::newRow("tie to the smaller key") << qRgb(100, 105, 100) << 1000.0 << 2 << qRgb(255, 0, 0);
        QTest::newRow("nearer to key 2") << qRgb(100, 108, 100) << 1000.0 << 2 << qRgb(0, 0, 255);
        QTest::newRow("no mapping") << qRgb(100, 100, 100) << 1000.0 << 0 << qRgb(9, 9, 9);
    }

    void thresholds()
    {
        QFETCH(QRgb, pixel);
        QFETCH(double, tolerance);
        QFETCH(int, mappings);
        QFETCH(QRgb, expected);
        QMap<int, QColor> from, to;
        if (mappings) {
            from = {{1, QColor(100, 100, 100)}, {2, QColor(100, 110, 100)}};
            to = {{1, QColor(255, 0, 0)}, {2, QColor(0, 0, 255)}};
        }
        QImage flat(4, 3, QImage::Format_RGB32);
        flat.fill(pixel);
        const QImage mask = ImageProcessing::process(flat, 2, tolerance, qRgb(9, 9, 9), from, to);
        QCOMPARE(mask.size(), flat.size());
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                QCOMPARE(mask.pixel(x, y), expected);
    }

    // The running-sum smoothing gives exactly the means of the definition:
    // every window summed afresh, in place, x outer and y inner.
    void smoothingMatchesDefinition()
    {
        const QImage noisy = photograph().copy(20, 10, 37, 23);
        for (int r : {0, 1, 2, 3, 11, 12}) {
            QImage expected = noisy;
            for (int x = r; x < 37 - r; ++x)
                for (int y = r; y < 23 - r; ++y) {
                    int red = 0, green = 0, blue = 0;
                    for (int j = y - r; j <= y + r; ++j)
                        for (int i = x - r; i <= x + r; ++i) {
                            red += qRed(expected.pixel(i, j));
                            green += qGreen(expected.pixel(i, j));
                            blue += qBlue(expected.pixel(i, j));
                        }
                    const int area = (2 * r + 1) * (2 * r + 1);
                    expected.setPixel(x, y, qRgb(red / area, green / area, blue / area));
                }
            QCOMPARE(ImageProcessing::smoothed(noisy, r), expected);
        }
    }

    // A noisy photograph with known regions becomes the expected mask at
    // the default tolerance (1000) and radius (1), driven through the window:
    // brick and sand are mapped, moss is left to the default colour, and
    // only pixels next to a region's edge may differ.
    void photographToMask()
    {
        const QString path = dir.filePath("photo.png");
        QVERIFY(photograph().save(path));
        ImageProcessing window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Image Processing"));
        QList<QColor> answers;
        window.setColorChooser([&](const QColor &) { return answers.takeFirst(); });
        auto click = [&](const char *name) { window.findChild<QPushButton *>(name)->click(); };
        QVERIFY(window.loadImage(path));
        QCOMPARE(window.processedImage().pixel(10, 10), qRgb(255, 255, 255));

        answers = {QColor(Brick),     QColor(0, 0, 0), QColor(Sand),     QColor(128, 128, 128),
                   QColor(Qt::green), QColor(Qt::red), QColor(0, 0, 255)};
        click("fromColor");
        click("toColor");
        click("add");
        click("fromColor");
        click("toColor");
        click("add");
        click("fromColor"); // a third mapping, removed again below
        click("toColor");
        click("add");
        QCOMPARE(window.findChild<QPushButton *>("toColor")->styleSheet(), QStringLiteral("background-color: #ff0000"));
        auto *list = window.findChild<QListView *>("colors");
        QCOMPARE(static_cast<QStringListModel *>(list->model())->stringList(), QStringList({"1", "2", "3"}));
        list->setCurrentIndex(list->model()->index(2, 0));
        click("remove");
        QCOMPARE(window.findChild<QPushButton *>("fromColor")->styleSheet(),
                 QStringLiteral("background-color: #ffffff"));
        click("defaultColor");

        const QImage mask = window.processedImage();
        int checked = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 90; ++x) {
                if (!inside(x, y))
                    continue;
                ++checked;
                const QRgb region = regionAt(x, y);
                const QRgb expected = region == Brick  ? qRgb(0, 0, 0)
                                      : region == Sand ? qRgb(128, 128, 128)
                                                       : qRgb(0, 0, 255);
                QCOMPARE(mask.pixel(x, y), expected);
            }
        QVERIFY(checked > 4000);

        // Keys are not reused: the next mapping gets 4.
        answers = {QColor(Moss), QColor(0, 255, 0)};
        click("fromColor");
        click("toColor");
        click("add");
        QCOMPARE(static_cast<QStringListModel *>(list->model())->stringList(), QStringList({"1", "2", "4"}));
        QCOMPARE(window.processedImage().pixel(60, 30), qRgb(0, 255, 0));
        // Save adds ".png" to a name typed without a suffix, as Open needs it.
        QString saveAs = dir.filePath("mask");
        window.setFileNameChooser([&] { return saveAs; });
        window.findChild<QAction *>("actionSave")->trigger();
        QVERIFY(!QFile::exists(dir.filePath("mask")));
        QCOMPARE(QImage(dir.filePath("mask.png")).convertToFormat(QImage::Format_RGB32), window.processedImage());
        saveAs = dir.filePath("mask.v2.png");
        window.findChild<QAction *>("actionSave")->trigger();
        QVERIFY(QFile::exists(saveAs));
        // Without smoothing and at a tenth of the tolerance most noisy pixels
        // fall outside every mapping.
        auto *average = window.findChild<QLineEdit *>("average");
        average->setText("0");
        QTest::keyClick(average, Qt::Key_Return);
        auto *tolerance = window.findChild<QLineEdit *>("tolerance");
        tolerance->setText("100");
        QTest::keyClick(tolerance, Qt::Key_Return);
        int defaults = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 90; ++x)
                defaults += window.processedImage().pixel(x, y) == qRgb(0, 0, 255) ? 1 : 0;
        QVERIFY(defaults > 90 * 60 / 2);
        auto *splitter = window.findChild<QSplitter *>("splitter");
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QList<int> all = splitter->sizes();
        window.findChild<QAction *>("actionOnly_Right")->trigger();
        QCOMPARE(splitter->sizes()[0], 0);
        QVERIFY(splitter->sizes()[2] > 0);
        window.findChild<QAction *>("actionAll")->trigger();
        QCOMPARE(splitter->sizes(), all);
    }

    // An image whose header announces too many pixels is refused before
    // anything is allocated and the current image stays; TIFF photographs
    // open like PNG ones.
    void hugeAndTiff()
    {
        ImageProcessing window;
        const QString small = dir.filePath("small.png");
        QVERIFY(photograph().save(small));
        QVERIFY(window.loadImage(small));
        // A header announcing 30000 x 20000 pixels and no pixels after it.
        const QString huge = dir.filePath("huge.ppm");
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("P6\n30000 20000\n255\n");
        file.close();
        QVERIFY(!window.loadImage(huge));
        QVERIFY2(window.message().contains("30000 x 20000"), qPrintable(window.message()));
        QCOMPARE(window.sourceImage().size(), QSize(90, 60));
        QVERIFY(!window.loadImage(dir.filePath("missing.png")));

        if (!QImageWriter::supportedImageFormats().contains("tiff"))
            QSKIP("Qt's TIFF image plugin is not installed");
        const QString tiff = dir.filePath("photo.tiff");
        QVERIFY(photograph().save(tiff, "TIFF"));
        QVERIFY(window.loadImage(tiff));
        QCOMPARE(window.sourceImage().pixel(5, 5), photograph().pixel(5, 5));
    }
};

QTEST_MAIN(TestImageProcessing)
#include "tst_imageprocessing.moc"
