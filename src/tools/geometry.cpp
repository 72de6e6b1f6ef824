#include "geometry.h"
#include "ui_geometry.h"

#include "persistence/geometryfiles.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QSaveFile>
#include <QScriptEngine>
#include <QScriptValue>
#include <QStringList>
#include <QTextCursor>
#include <QTimer>

namespace {

// How often a running script lets the window handle its events.
constexpr int EventIntervalMs = 100;
// Open refuses larger files: they are not scripts anyone wrote by hand.
constexpr qint64 MaxScriptBytes = 16 << 20;

const char *const TemplateLines[] = {
    "var data = [];",
    "",
    "function width() {",
    "    return 100;",
    "}",
    "",
    "function height() {",
    "    return 100;",
    "}",
    "",
    "function length() {",
    "    return 1;",
    "}",
    "",
    "function init() {",
    "    for (var x = 0; x < width(); x++) {",
    "        data[x] = [];",
    "        for (var y = 0; y < height(); y++) {",
    "            data[x][y] = [];",
    "            for (var z = 0; z < length(); z++) {",
    "                data[x][y][z] = \"fluid\";",
    "            }",
    "        }",
    "    }",
    "}",
    "",
    "// Possible values: fluid, wall, inlet, outlet",
    "function create() {",
    "    for (var x = 0; x < width(); x++) {",
    "        data[x][0][0] = \"wall\";",
    "        data[x][height() - 1][0] = \"wall\";",
    "    }",
    "    for (var y = 0; y < height(); y++) {",
    "        data[0][y][0] = \"wall\";",
    "        data[width() - 1][y][0] = \"wall\";",
    "    }",
    "}",
    "",
    "function serialize() {",
    "    var result = width() + \"|\" + height() + \"|\" + length();",
    "    for (var x = 0; x < width(); x++) {",
    "        for (var y = 0; y < height(); y++) {",
    "            for (var z = 0; z < length(); z++) {",
    "                result += \"|\" + data[x][y][z];",
    "            }",
    "        }",
    "    }",
    "    return result;",
    "}",
    "",
    "function main() {",
    "    init();",
    "    create();",
    "    return serialize();",
    "}",
    "",
    "main();",
};

QRgb colourOf(const QStringRef &word)
{
    if (word == QLatin1String("wall"))
        return qRgb(128, 128, 128);
    if (word == QLatin1String("inlet"))
        return qRgb(255, 0, 0);
    if (word == QLatin1String("outlet"))
        return qRgb(0, 0, 0);
    return qRgb(255, 255, 255);
}

} // namespace

Geometry::Geometry(QWidget *parent) : QMainWindow(parent), ui(new Ui::Geometry)
{
    ui->setupUi(this);
    chooseFileName = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save"), QString(), QStringLiteral("*.png"));
    };
    on_actionNew_triggered();
}

Geometry::~Geometry() = default;

QString Geometry::templateScript()
{
    QStringList lines;
    for (const char *line : TemplateLines)
        lines << QString::fromLatin1(line);
    return lines.join(QLatin1Char('\n'));
}

QString Geometry::script() const
{
    return ui->code->toPlainText();
}

void Geometry::setScript(const QString &text)
{
    ui->code->setPlainText(text);
}

QString Geometry::output() const
{
    return ui->output->toPlainText();
}

void Geometry::appendOutput(const QString &line)
{
    ui->output->appendPlainText(line);
}

void Geometry::setRunning(QScriptEngine *running)
{
    engine = running;
    const bool idle = running == nullptr;
    ui->actionGenerate->setEnabled(idle);
    ui->actionNew->setEnabled(idle);
    ui->actionOpen->setEnabled(idle);
    ui->actionStop->setEnabled(!idle);
}

void Geometry::stop()
{
    if (!engine)
        return;
    stopRequested = true;
    engine->abortEvaluation();
}

bool Geometry::evaluate(const QString &code, QString *result)
{
    stopRequested = false;
    timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [this] {
        timedOut = true;
        stop();
    });
    watchdog.start(timeLimit);
    const QScriptValue value = engine->evaluate(code);
    watchdog.stop();
    if (stopRequested) {
        appendOutput(timedOut ? tr("Stopped: the script ran longer than %1 s.").arg(timeLimit / 1000.0)
                              : tr("Stopped."));
        return false;
    }
    if (engine->hasUncaughtException()) {
        appendOutput(tr("Uncaught exception at line %1: %2")
                         .arg(engine->uncaughtExceptionLineNumber())
                         .arg(engine->uncaughtException().toString()));
        appendOutput(engine->uncaughtExceptionBacktrace().join(QLatin1Char('\n')));
        return false;
    }
    *result = value.toString();
    return true;
}

bool Geometry::writeImages(const QString &result, const QString &fileName)
{
    const QVector<QStringRef> fields = result.splitRef(QLatin1Char('|'));
    bool okW = false, okH = false, okL = false;
    const int w = fields.size() > 0 ? fields[0].toInt(&okW) : 0;
    const int h = fields.size() > 1 ? fields[1].toInt(&okH) : 0;
    const int l = fields.size() > 2 ? fields[2].toInt(&okL) : 0;
    if (!okW || !okH || !okL || w < 1 || h < 1 || l < 1) {
        appendOutput(tr("The script's result must start with the width, height and length as positive integers "
                        "(W|H|L|...)."));
        return false;
    }
    const long long sites = static_cast<long long>(w) * h * l;
    if (sites > GeometryFiles::MaxSites) {
        appendOutput(tr("%1 x %2 x %3 is too large: a domain has at most %4 sites.")
                         .arg(w)
                         .arg(h)
                         .arg(l)
                         .arg(GeometryFiles::MaxSites));
        return false;
    }
    if (fields.size() != sites + 3) {
        appendOutput(tr("The script gave %1 cells for %2 x %3 x %4 = %5 sites.")
                         .arg(fields.size() - 3)
                         .arg(w)
                         .arg(h)
                         .arg(l)
                         .arg(sites));
        return false;
    }
    for (int z = 0; z < l; ++z) {
        QImage image(w, h, QImage::Format_RGB32);
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y)
                image.setPixel(x, y, colourOf(fields[3 + (x * h + y) * l + z]));
        const QString name = z == 0 ? fileName : GeometryFiles::layerFileName(fileName, z);
        appendOutput(QStringLiteral("Creating ") + name + QStringLiteral("..."));
        QCoreApplication::processEvents();
        if (stopRequested) {
            appendOutput(tr("Stopped."));
            return false;
        }
        QSaveFile file(name);
        if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
            appendOutput(tr("Could not write %1: %2").arg(name, file.errorString()));
            return false;
        }
    }
    return true;
}

void Geometry::run()
{
    if (engine)
        return;
    const QString code = script();
    QScriptEngine scriptEngine;
    scriptEngine.setProcessEventsInterval(EventIntervalMs);
    setRunning(&scriptEngine);
    QString result;
    if (evaluate(code, &result)) {
        const QString fileName = chooseFileName();
        if (!fileName.isEmpty()) {
            QElapsedTimer clock;
            clock.start();
            if (evaluate(code, &result) && writeImages(result, fileName))
                appendOutput(QStringLiteral("It took ") + QString::number(clock.elapsed()) + QStringLiteral(" ms"));
        }
    }
    setRunning(nullptr);
}

void Geometry::on_actionNew_triggered()
{
    ui->code->clear();
    for (const char *line : TemplateLines)
        ui->code->appendPlainText(QString::fromLatin1(line));
    ui->code->moveCursor(QTextCursor::Start);
}

void Geometry::on_actionGenerate_triggered()
{
    QMetaObject::invokeMethod(this, "run", Qt::QueuedConnection);
}

void Geometry::on_actionSave_triggered()
{
    const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Save"), QString(), QStringLiteral("*.js"));
    if (name.isEmpty())
        return;
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(script().toUtf8()) < 0 || !file.commit())
        appendOutput(tr("Could not write %1: %2").arg(name, file.errorString()));
}

void Geometry::on_actionOpen_triggered()
{
    const QString name = QFileDialog::getOpenFileName(this, QStringLiteral("Open"), QString(), QStringLiteral("*.js"));
    if (name.isEmpty())
        return;
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        appendOutput(tr("Could not read %1: %2").arg(name, file.errorString()));
        return;
    }
    if (file.size() > MaxScriptBytes) {
        appendOutput(tr("%1 is not a script: it has %2 bytes, a script at most %3.")
                         .arg(name)
                         .arg(file.size())
                         .arg(MaxScriptBytes));
        return;
    }
    setScript(QString::fromUtf8(file.readAll()));
}

void Geometry::on_actionStop_triggered()
{
    stop();
}

void Geometry::closeEvent(QCloseEvent *event)
{
    // A script left running would keep the engine busy behind a hidden window.
    stop();
    QMainWindow::closeEvent(event);
}
