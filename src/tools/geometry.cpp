#include "geometry.h"
#include "ui_geometry.h"

#include "geometryscriptjob.h"
#include "persistence/geometryfiles.h"
#include "savefilename.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QSaveFile>
#include <QStringList>
#include <QTextCursor>

namespace {

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

} // namespace

Geometry::Geometry(QWidget *parent) : QMainWindow(parent), ui(new Ui::Geometry), job(new GeometryScriptJob(this))
{
    ui->setupUi(this);
    chooseFileName = [this] {
        return SaveFileName::ask(this, QStringLiteral("Save"), QStringLiteral("*.png"), QStringLiteral("png"));
    };
    connect(job, &GeometryScriptJob::output, this, &Geometry::appendOutput);
    connect(job, &GeometryScriptJob::finished, this, &Geometry::onJobFinished);
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

void Geometry::setTimeLimit(int milliseconds)
{
    job->setTimeLimit(milliseconds);
}

int Geometry::getTimeLimit() const
{
    return job->getTimeLimit();
}

void Geometry::setMemoryLimit(qint64 bytes)
{
    job->setMemoryLimit(bytes);
}

qint64 Geometry::getMemoryLimit() const
{
    return job->getMemoryLimit();
}

void Geometry::setScriptProgram(const QString &path)
{
    job->setProgram(path);
}

void Geometry::appendOutput(const QString &line)
{
    ui->output->appendPlainText(line);
}

void Geometry::setRunning(bool running)
{
    busy = running;
    ui->actionGenerate->setEnabled(!running);
    ui->actionNew->setEnabled(!running);
    ui->actionOpen->setEnabled(!running);
    ui->actionStop->setEnabled(running);
}

void Geometry::stop()
{
    job->stop();
}

void Geometry::run()
{
    if (busy)
        return;
    setRunning(true);
    job->start(script());
}

void Geometry::onJobFinished()
{
    if (job->outcome() != GeometryScriptJob::Outcome::Finished) {
        appendOutput(job->message());
        setRunning(false);
        emit finished();
        return;
    }
    appendOutput(tr("The script finished after %1 ms with %2 x %3 x %4 sites.")
                     .arg(job->elapsed())
                     .arg(job->width())
                     .arg(job->height())
                     .arg(job->length()));
    // Load reads only names that end in ".png".
    const QString fileName = SaveFileName::withSuffix(chooseFileName(), QStringLiteral("png"));
    if (!fileName.isEmpty()) {
        QElapsedTimer clock;
        clock.start();
        if (copyImages(fileName))
            appendOutput(QStringLiteral("It took ") + QString::number(job->elapsed() + clock.elapsed()) +
                         QStringLiteral(" ms"));
    }
    setRunning(false);
    emit finished();
}

bool Geometry::copyImages(const QString &fileName)
{
    for (int z = 0; z < job->length(); ++z) {
        const QString name = z == 0 ? fileName : GeometryFiles::layerFileName(fileName, z);
        appendOutput(QStringLiteral("Creating ") + name + QStringLiteral("..."));
        QFile layer(job->layerFile(z));
        if (!layer.open(QIODevice::ReadOnly)) {
            appendOutput(tr("Could not read the image of layer %1: %2").arg(z + 1).arg(layer.errorString()));
            return false;
        }
        QSaveFile file(name);
        if (!file.open(QIODevice::WriteOnly) || file.write(layer.readAll()) != layer.size() || !file.commit()) {
            appendOutput(tr("Could not write %1: %2").arg(name, file.errorString()));
            return false;
        }
    }
    return true;
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
    const QString name = SaveFileName::ask(this, QStringLiteral("Save"), QStringLiteral("*.js"), QStringLiteral("js"));
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
    // A script left running would go on behind a hidden window.
    stop();
    QMainWindow::closeEvent(event);
}
