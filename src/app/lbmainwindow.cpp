#include "lbmainwindow.h"

#include "codeeditor.h"
#include "interpolation.h"
#include "notice.h"
#include "parameters2.h"
#include "results.h"
#include "textdialog.h"
#include "ui_lbmainwindow.h"

#include "batch/dropfolder.h"
#include "batch/dropjob.h"
#include "immersed.h"
#include "model/latticeboltzmann/boundary/inletformula.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "model/xml/elementcopy.h"
#include "particles.h"
#include "persistence/compression.h"
#include "persistence/exports.h"
#include "persistence/geometryfiles.h"
#include "persistence/statedocument.h"
#include "tools/geometry.h"
#include "tools/imageprocessing.h"
#include "tools/mesher.h"
#include "view/animation.h"
#include "view/chart.h"
#include "view/colors.h"
#include "view/info.h"
#include "view/lbwidget.h"
#include "view/painters.h"
#include "view/renderer.h"
#include "view/view.h"
#include "view/view2.h"

#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>

namespace {

const char *creditsText = "<h3>Ondix</h3>"
                          "<p>An interactive simulator of fluid flow by the lattice-Boltzmann method.</p>"
                          "<p>Built with Qt 5 and Qwt 6; drawn with OpenGL.</p>";

const char *changesText = "<h3>Changes</h3>"
                          "<ul><li>The desktop program: geometry loading, the run loop with bursts, "
                          "frame captures and run tables, the OpenGL view with its camera, images of the "
                          "geometry and of the view, and the .lb/.lb2 editor.</li>"
                          "<li>The Info dock with the run's figures, probe readouts and performance "
                          "switches; charts of deltaP, drag, velocity and pressure; Reset Projection.</li></ul>";

// The file name a save dialog returns, with the suffix added when the user
// typed none: a geometry without ".png" could not be loaded again. Empty when
// the dialog was cancelled.
QString saveFileName(QWidget *parent, const QString &caption, const QString &filter, const QString &suffix)
{
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

// The run's limits that loading the version-2 document at path would put in
// force: those of its "results" element, or the ones given when it has none
// or they do not read. Reads the document through once without building
// anything; false when it cannot be read, which loading it then reports.
bool documentLimits(const QString &path, int &maxIterations, double &stopWhen)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray inflated;
    std::unique_ptr<QXmlStreamReader> reader;
    if (Compression::looksCompressed(file.peek(256))) {
        QString why;
        if (!Compression::inflate(file.readAll(), qint64(1) << 40, &inflated, &why))
            return false;
        reader = std::make_unique<QXmlStreamReader>(inflated);
    } else {
        reader = std::make_unique<QXmlStreamReader>(&file);
    }
    // The element is a child of the document's root.
    int depth = 0;
    while (!reader->atEnd()) {
        const QXmlStreamReader::TokenType token = reader->readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
        } else if (token == QXmlStreamReader::StartElement) {
            if (++depth == 2 && reader->name() == QLatin1String("results")) {
                Results::readLimits(*reader, maxIterations, stopWhen);
                return true;
            }
        }
    }
    return !reader->hasError();
}

} // namespace

LBMainWindow::LBMainWindow(QWidget *parent) : QMainWindow(parent), ui(std::make_unique<Ui::LBMainWindow>())
{
    ui->setupUi(this);
    resize(1024, 768);
    view = new LBWidget(this);
    view->setObjectName(QStringLiteral("view"));
    setCentralWidget(view);
    colors = new Colors(view->getRenderer(), view, this);
    connect(view->getRenderer(), &Renderer::rangeChanged, colors,
            [this](double centre, double halfWidth) { colors->refreshPreview(centre, halfWidth / 2); });
    viewDock = new View(view, this);
    addDockWidget(Qt::RightDockWidgetArea, viewDock);
    planes = new View2(view, this);
    animation = new Animation(view, viewDock, planes, this);
    connect(animation, &Animation::frameWriteFailed, this,
            [this](const QString &m) { showNotice(this, tr("Animation"), m); });
    info = new Info(view, this);
    addDockWidget(Qt::RightDockWidgetArea, info);
    // The two docks share the right side as tabs, each with the full height
    // (the Info dock's Probe fields stay in view), and leave the view most
    // of the width.
    tabifyDockWidget(viewDock, info);
    info->raise();
    resizeDocks({viewDock, info}, {300, 300}, Qt::Horizontal);
    about = new TextDialog(tr("Credits"), QString::fromUtf8(creditsText), this);
    changes = new TextDialog(tr("Changes"), QString::fromUtf8(changesText), this);
    codeEditor = new CodeEditor(this);
    codeEditor->setWindowFlag(Qt::Window);
    parameters = new Parameters2(view->getGrid(), this);
    connect(parameters, &Parameters2::modelChanged, this, [this](int) {
        view->getGrid()->rebuildCellsForModel();
        view->rebuildGeometry(false, true);
        repaintView();
    });
    results = new Results(view, this);
    interpolation = new Interpolation(view->getGrid(), this);
    connect(parameters, &Parameters2::cellsChanged, this, [this] {
        view->rebuildGeometry(false, true);
        repaintView();
    });
    geometry = new Geometry(this);
    imageProcessing = new ImageProcessing(this);
    mesher = new Mesher(*view->getGrid(), this);
    connect(mesher, &Mesher::geometryChanged, this, [this] {
        view->rebuildGeometry(false, true);
        repaintView();
    });
    connect(mesher, &Mesher::parametersChanged, parameters, &Parameters2::refresh);
    particles = new Particles(view->getGrid(), this);
    connect(particles, &Particles::changed, this, [this] { repaintView(); });
    immersed = new Immersed(view->getGrid(), this);
    connect(immersed, &Immersed::itemsChanged, this, [this] { repaintView(); });
    setWindowTitle(QStringLiteral("Ondix "));
    buildPainterMenu();
    connect(view, &LBWidget::stepped, this, &LBMainWindow::reportRunProblems);
    connect(view, &LBWidget::outputFailed, this,
            [this](const QString &message) { showNotice(this, tr("Run outputs"), message); });
    qApp->installEventFilter(this);
}

bool LBMainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride || !watched->isWidgetType())
        return QMainWindow::eventFilter(watched, event);
    // A field that takes a key overrides the shortcut of that key. For the
    // run-control commands the field does not get to: the event stays
    // unaccepted and the shortcut fires, wherever the focus is in the window
    // or its docks.
    // The window and its docks, floating ones included.
    QWidget *window = static_cast<QWidget *>(watched)->window();
    if (window != this && !(qobject_cast<QDockWidget *>(window) && window->parentWidget() == this))
        return QMainWindow::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const QKeySequence pressed(int(key->modifiers()) | key->key());
    for (QAction *action : ui->menuSimulation->actions())
        if (action->isEnabled() && !action->shortcut().isEmpty() && action->shortcut() == pressed)
            return true;
    return QMainWindow::eventFilter(watched, event);
}

LBMainWindow::~LBMainWindow()
{
    qApp->removeEventFilter(this);
    // The dock listens to the grid: it goes before the view that owns the grid.
    delete info;
}

QList<Chart *> LBMainWindow::getCharts() const
{
    QList<Chart *> list;
    for (const QPointer<Chart> &chart : charts)
        if (chart)
            list << chart;
    return list;
}

void LBMainWindow::setFilePath(const QString &path)
{
    filePath = path;
    view->setCurrentFile(path);
}

void LBMainWindow::buildPainterMenu()
{
    // Every painter, in the order of the painter list; the four that have
    // actions of their own use them. Their Alt+1..Alt+4 shortcuts belong to
    // the "Exec." entries, so in this menu they go without.
    const QMap<QString, QAction *> named = {{QStringLiteral("velocity"), ui->actionVelocity},
                                            {QStringLiteral("pressure"), ui->actionPressure},
                                            {QStringLiteral("arrow"), ui->actionArrow},
                                            {QStringLiteral("detail"), ui->actionDetail}};
    ui->menuWindow->addSeparator();
    QMenu *menu = ui->menuWindow->addMenu(tr("Painter"));
    menu->setObjectName(QStringLiteral("menuPainter"));
    auto *group = new QActionGroup(this);
    for (const QString &name : Painters::names()) {
        QAction *action = named.value(name);
        if (action) {
            action->setShortcut(QKeySequence());
        } else {
            QString text = name;
            text[0] = text[0].toUpper();
            action = new QAction(text, this);
            action->setObjectName(QStringLiteral("actionPainter_") + QString(name).replace(' ', '_'));
            connect(action, &QAction::triggered, this, [this, name]() { selectPainter(name); });
        }
        action->setCheckable(true);
        action->setChecked(name == view->getRenderer()->getPainterName());
        action->setData(name);
        group->addAction(action);
        menu->addAction(action);
    }
}

void LBMainWindow::repaintView()
{
    view->updateGL();
}

// Reads the state document at the remembered path into the running
// simulation, with the window's panels; a document it refuses leaves
// everything as it was.
void LBMainWindow::loadAll2(int version)
{
    openDocument(filePath, version);
}

bool LBMainWindow::openDocument(const QString &path, int version)
{
    QString error;
    QStringList warnings;
    if (!loadAllFrom(path, version, &error, &warnings)) {
        showNotice(this, tr("Load All"), error);
        return false;
    }
    if (!warnings.isEmpty())
        showNotice(this, tr("Load All"), warnings.join(QLatin1Char('\n')));
    return true;
}

bool LBMainWindow::loadAllFrom(const QString &path, int version, QString *error, QStringList *warnings)
{
    StateDocument document(*view->getGrid());
    document.setPanels(documentPanels());
    StateDocument::Options options;
    options.version = version;
    if (!document.load(path, options, error))
        return false;
    loadedAll = 2;
    loadedAllVersion = version;
    documentPath = path;
    view->resetRunState();
    view->rebuildGeometry(false, keepCameraOnLoad);
    info->setFile(QFileInfo(path).fileName());
    parameters->refresh();
    results->refresh();
    particles->refresh();
    immersed->refresh();
    for (Chart *chart : getCharts()) {
        chart->clearSeries();
        chart->update(view->getGrid());
    }
    repaintView();
    if (warnings)
        *warnings = document.warnings();
    return true;
}

void LBMainWindow::saveAll(int version)
{
    const QString name =
        version == 3
            ? saveFileName(this, QStringLiteral("Save All (v3)"), QStringLiteral("*.lb3"), QStringLiteral("lb3"))
            : saveFileName(this, QStringLiteral("Save All (v2)"), QStringLiteral("*.lb2"), QStringLiteral("lb2"));
    if (name.isEmpty())
        return;
    QString error;
    if (!saveAllTo(name, version, &error))
        showNotice(this, tr("Save All"), error);
}

bool LBMainWindow::saveAllTo(const QString &path, int version, QString *error)
{
    StateDocument document(*view->getGrid());
    document.setPanels(documentPanels());
    StateDocument::Options options;
    options.version = version;
    options.compress = version == 2 && ui->actionUse_zipped_lb3->isChecked();
    return document.save(path, options, error);
}

void LBMainWindow::openAll(int version)
{
    const QString name = QFileDialog::getOpenFileName(
        this, version == 3 ? QStringLiteral("Load All (v3)") : QStringLiteral("Load All (v2)"), QString(),
        version == 3 ? QStringLiteral("State (*.lb3);;All files (*)")
                     : QStringLiteral("State (*.lb2 *.xml);;All files (*)"));
    if (name.isEmpty())
        return;
    // Only a document that loaded becomes the remembered path.
    if (openDocument(name, version))
        setFilePath(name);
}

// The panels of the window in the state document. Each panel writes and
// reads a whole element of its own; the document starts and ends the
// element itself, so the panel's element is copied in and out.
QList<StateDocument::Panel> LBMainWindow::documentPanels()
{
    using Write = std::function<void(QXmlStreamWriter &)>;
    using Read = std::function<void(QXmlStreamReader &)>;
    auto panel = [](const QString &name, Write write, Read read) {
        StateDocument::Panel p;
        p.name = name;
        p.write = [write](QXmlStreamWriter &writer) {
            QByteArray element;
            QXmlStreamWriter own(&element);
            write(own);
            ElementCopy::writeContent(element, writer);
        };
        p.read = [read](QXmlStreamReader &reader, QString *) {
            const QByteArray element = ElementCopy::capture(reader);
            QXmlStreamReader own(element);
            if (own.readNextStartElement())
                read(own);
            return true;
        };
        return p;
    };
    return {
        panel(
            QStringLiteral("view"), [this](QXmlStreamWriter &w) { viewDock->write(w); },
            [this](QXmlStreamReader &r) { viewDock->read(r); }),
        panel(
            QStringLiteral("info"), [this](QXmlStreamWriter &w) { info->write(w); },
            [this](QXmlStreamReader &r) { info->read(r); }),
        panel(
            QStringLiteral("results"), [this](QXmlStreamWriter &w) { results->write(w); },
            [this](QXmlStreamReader &r) { results->read(r); }),
        panel(
            QStringLiteral("colors"), [this](QXmlStreamWriter &w) { colors->write(w); },
            [this](QXmlStreamReader &r) { colors->read(r); }),
        panel(
            QStringLiteral("interpolation"), [this](QXmlStreamWriter &w) { interpolation->write(w); },
            [this](QXmlStreamReader &r) { interpolation->read(r); }),
    };
}

void LBMainWindow::loadAll2()
{
    loadAll2(2);
}

void LBMainWindow::load()
{
    loadGeometry(filePath);
}

bool LBMainWindow::loadGeometry(const QString &path)
{
    QString error;
    // The parameters dialog's free-surface switch chooses the colour table.
    const bool korner = view->getGrid()->getParameters()->getMeltingFlag();
    if (!GeometryFiles::load(*view->getGrid(), path, korner, &error)) {
        showNotice(this, tr("Load"), error);
        return false;
    }
    view->resetRunState();
    view->rebuildGeometry(false, keepCameraOnLoad);
    info->setFile(QFileInfo(path).fileName());
    // A geometry can change the model (layers make it 3D) and gives its
    // inlets and outlets their own strategies: the dialogs show what is now
    // in force.
    parameters->refresh();
    results->refresh();
    particles->refresh();
    immersed->refresh();
    for (Chart *chart : getCharts()) {
        chart->clearSeries();
        chart->update(view->getGrid());
    }
    repaintView();
    return true;
}

void LBMainWindow::saveGeometry(int scale)
{
    const QString name =
        saveFileName(this, QStringLiteral("Save Geometry"), QStringLiteral("*.png"), QStringLiteral("png"));
    if (name.isEmpty())
        return;
    QString error;
    if (!GeometryFiles::saveGeometryImage(*view->getGrid(), name, scale, &error))
        showNotice(this, tr("Save Geometry"), error);
    else
        info->setFile(QFileInfo(name).fileName());
}

void LBMainWindow::selectPainter(const QString &name)
{
    // The dock's painter list selects the painter and repaints, so both stay in step.
    viewDock->findChild<QComboBox *>(QStringLiteral("painter"))->setCurrentText(name);
    if (view->getRenderer()->getPainterName() != name) {
        view->getRenderer()->selectPainter(name);
        repaintView();
    }
}

void LBMainWindow::on_actionForces_triggered()
{
    selectPainter(QStringLiteral("forces"));
}

void LBMainWindow::on_actionParticles_2_triggered()
{
    viewDock->clickToggleByName(QStringLiteral("particles"));
}

void LBMainWindow::on_actionDynamic_triggered()
{
    viewDock->clickToggleByName(QStringLiteral("dynamic"));
}

void LBMainWindow::on_actionStatic_triggered()
{
    viewDock->clickToggleByName(QStringLiteral("static"));
}

void LBMainWindow::on_actionAxis_triggered()
{
    viewDock->clickToggleByName(QStringLiteral("axis"));
}

void LBMainWindow::on_actionDetail_triggered()
{
    selectPainter(QStringLiteral("detail"));
}

void LBMainWindow::on_actionArrow_triggered()
{
    selectPainter(QStringLiteral("arrow"));
}

void LBMainWindow::on_actionPressure_triggered()
{
    selectPainter(QStringLiteral("pressure"));
}

void LBMainWindow::on_actionVelocity_triggered()
{
    selectPainter(QStringLiteral("velocity"));
}

// Windows that later work brings: the tracers, planes, charts, view
// and info docks, results, server, interpolation, animation, parameters,
// mesher, immersed bodies, image processing and geometry script.
void LBMainWindow::on_actionParticles_triggered()
{
    particles->refresh();
    showTool(particles);
}

void LBMainWindow::on_actionAbout_triggered()
{
    about->show();
    about->raise();
}

void LBMainWindow::on_actionView2_triggered()
{
    showTool(planes);
}

void LBMainWindow::on_actionChart_triggered()
{
    auto *chart = new Chart(this);
    chart->setAttribute(Qt::WA_DeleteOnClose);
    charts << chart;
    view->registerChart(chart);
    info->registerChart(chart);
    chart->update(view->getGrid());
    chart->show();
}

void LBMainWindow::on_actionColors_triggered()
{
    colors->show();
    colors->raise();
}

void LBMainWindow::on_actionInfo_triggered()
{
    toggleDock(info);
}

void LBMainWindow::on_actionView_triggered()
{
    viewDock->show();
    viewDock->raise();
}

void LBMainWindow::on_actionNext_triggered()
{
    view->stepOnce();
}

void LBMainWindow::on_actionReset_triggered()
{
    view->resetRunState();
    Grid *grid = view->getGrid();
    grid->resetAll();
    grid->getStatistics().mlups = 0.0;
    for (Chart *chart : getCharts())
        chart->clearSeries();
    repaintView();
}

void LBMainWindow::on_actionStop_triggered()
{
    view->stopRun();
}

void LBMainWindow::on_actionLoad_triggered()
{
    const QString name = QFileDialog::getOpenFileName(
        this, QStringLiteral("Load"), QString(),
        QStringLiteral("Geometry (*.png *.txt *.lb);;Images (*.png);;Text geometry (*.txt *.lb)"));
    if (name.isEmpty())
        return;
    // The path is remembered only when the geometry was loaded, so a failed
    // load leaves the run's file name as it was.
    if (loadGeometry(name))
        setFilePath(name);
}

void LBMainWindow::on_actionStart_triggered()
{
    view->startRun();
}

void LBMainWindow::on_actionSave_Image_triggered()
{
    const QString name =
        saveFileName(this, QStringLiteral("Save Image"), QStringLiteral("*.png"), QStringLiteral("png"));
    if (name.isEmpty())
        return;
    if (!view->grabFrame().save(name, "PNG"))
        showNotice(this, tr("Save Image"), tr("The image could not be written to %1.").arg(name));
}

void LBMainWindow::on_actionReload_All_triggered()
{
    // The last document that loaded, whatever was refused or loaded since.
    if (loadedAll == 2 && openDocument(documentPath, loadedAllVersion))
        setFilePath(documentPath);
}

void LBMainWindow::on_actionResults_triggered()
{
    results->refresh();
    showTool(results);
}

void LBMainWindow::on_actionConvert_lb2_to_lb_triggered()
{
    const QString name =
        QFileDialog::getOpenFileName(this, QStringLiteral("Convert to lb"), QString(), QStringLiteral("*.lb2"));
    if (name.isEmpty())
        return;
    QString error;
    if (!GeometryFiles::convertLb2ToLb(name, &error))
        showNotice(this, tr("Convert lb2 to lb"), error);
}

void LBMainWindow::on_actionConvert_lb_to_lb2_triggered()
{
    const QString name =
        QFileDialog::getOpenFileName(this, QStringLiteral("Convert to lb2"), QString(), QStringLiteral("*.lb"));
    if (name.isEmpty())
        return;
    QString error;
    if (!GeometryFiles::convertLbToLb2(name, &error))
        showNotice(this, tr("Convert lb to lb2"), error);
}

// The state-document commands arrive with the state document.
void LBMainWindow::on_actionLoad_All_2_testing_triggered()
{
    openAll(2);
}

void LBMainWindow::on_actionSave_All_2_testing_triggered()
{
    saveAll(2);
}

void LBMainWindow::on_actionStart_Server_triggered()
{
    const QString directory = QFileDialog::getExistingDirectory(this, QStringLiteral("Start Server"));
    if (!directory.isEmpty())
        startServer(directory);
}

void LBMainWindow::on_actionStop_Server_triggered()
{
    stopServer();
}

void LBMainWindow::startServer(const QString &directory, int pollMs)
{
    stopServer();
    serverDirectory = QDir(directory);
    serverFolder = std::make_unique<DropFolder>(serverDirectory.absolutePath());
    serverRunning = 1;
    if (!serverTimer) {
        serverTimer = new QTimer(this);
        connect(serverTimer, &QTimer::timeout, this, &LBMainWindow::pollServer);
        connect(view, &LBWidget::ended, this, &LBMainWindow::finishServedDocument);
    }
    serverTimer->start(std::max(1, pollMs));
    ui->actionStart_Server->setEnabled(false);
    ui->actionStop_Server->setEnabled(true);
}

void LBMainWindow::stopServer()
{
    serverRunning = 0;
    if (serverTimer)
        serverTimer->stop();
    serverFolder.reset();
    if (servedJob) {
        // The run stops where it is; the document goes back into the folder,
        // to be run afresh by a later server (its outputs so far stay).
        servedDocument.clear();
        view->stopRun();
        servedJob->release(nullptr);
        servedJob.reset();
    }
    ui->actionStart_Server->setEnabled(true);
    ui->actionStop_Server->setEnabled(false);
}

void LBMainWindow::pollServer()
{
    // One document at a time: the next waits until this one's run has ended.
    // Each is taken (moved into a results folder of its own) just before it
    // is loaded.
    if (!serverRunning || servedJob)
        return;
    while (std::unique_ptr<DropJob> job = serverFolder->claimNext())
        if (serveDocument(std::move(job)))
            return;
}

bool LBMainWindow::serveDocument(std::unique_ptr<DropJob> job)
{
    const QString path = job->document();
    const QString endless = tr("Nothing ends this run: the document's Results settings give neither an "
                               "iteration limit (Max It.) nor a convergence threshold (Stop When).");
    // A document with nothing to end its run is set aside before it
    // replaces the window's simulation.
    {
        const SimulationParameters &p = *view->getGrid()->getParameters();
        int limit = p.getMaxIterations();
        double threshold = p.getStopWhen();
        if (documentLimits(path, limit, threshold) && limit <= 0 && threshold <= 0.0) {
            if (!job->unchanged() && job->release(nullptr))
                return false; // written to while it was read: taken again once it stays unchanged
            job->fail(endless);
            return false;
        }
    }
    QString error;
    QStringList warnings;
    const bool loaded = loadAllFrom(path, 2, &error, &warnings);
    if (!job->unchanged() && job->release(nullptr))
        return false; // written to while it was read: taken again once it stays unchanged
    if (!loaded) {
        job->fail(error);
        return false;
    }
    setFilePath(path);
    const SimulationParameters &p = *view->getGrid()->getParameters();
    if (p.getMaxIterations() <= 0 && p.getStopWhen() <= 0.0) {
        job->fail(endless);
        return false;
    }
    if (!warnings.isEmpty())
        job->writeNote(QStringLiteral("warnings.txt"), warnings.join(QLatin1Char('\n')), nullptr);
    servedDocument = path;
    view->setOutputFolder(job->resultsFolder());
    servedJob = std::move(job);
    view->startRun();
    return true;
}

void LBMainWindow::finishServedDocument()
{
    if (!servedJob)
        return;
    const std::unique_ptr<DropJob> job = std::move(servedJob);
    servedDocument.clear();
    view->stopRun();
    QString error;
    if (!saveAllTo(job->finalDocument(), 2, &error)) {
        job->fail(error);
        return;
    }
    // Reload All reads the document where it now lies.
    documentPath = job->document();
    setFilePath(documentPath);
}

void LBMainWindow::on_actionChanges_triggered()
{
    changes->show();
    changes->raise();
}

void LBMainWindow::on_action_lb_lb2_Editor_triggered()
{
    codeEditor->showMaximized();
    codeEditor->raise();
}

void LBMainWindow::on_actionInterpolation_triggered()
{
    showTool(interpolation);
}

void LBMainWindow::on_actionOpenCL_triggered() {}

void LBMainWindow::on_actionAnimation_triggered()
{
    showTool(animation);
}

void LBMainWindow::on_actionModel_and_Parameters_triggered()
{
    parameters->refresh();
    showTool(parameters);
}

void LBMainWindow::showTool(QWidget *tool)
{
    tool->show();
    tool->raise();
    tool->activateWindow();
}

void LBMainWindow::reportRunProblems()
{
    const QString message = InletFormula::takeMessage();
    if (!message.isEmpty())
        showNotice(this, tr("Inlet formula"), message);
}

void LBMainWindow::on_actionSave_triggered()
{
    saveGeometry(1);
}

void LBMainWindow::on_actionSave_x2_triggered()
{
    saveGeometry(2);
}

void LBMainWindow::on_actionSave_VTK_triggered()
{
    // Both forms are offered; the Results dialog's switch chooses the one
    // shown first.
    const QString ascii = tr("VTK, ASCII (*.vtu)");
    const QString binary = tr("VTK, compressed binary (*.vtu)");
    QFileDialog dialog(this, QStringLiteral("Export VTK"), QString(), ascii + ";;" + binary);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("vtu"));
    dialog.selectNameFilter(results->vtkBinaryEnabled() ? binary : ascii);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const VtuWriter::Format format =
        dialog.selectedNameFilter() == binary ? VtuWriter::Format::Binary : VtuWriter::Format::Ascii;
    QString error;
    if (!Exports::exportVtk(*view->getGrid(), dialog.selectedFiles().first(), &error, format))
        showNotice(this, tr("Export to VTK"), error);
}

void LBMainWindow::on_actionView_2_triggered()
{
    toggleDock(viewDock);
}

void LBMainWindow::on_actionInfo_2_triggered()
{
    toggleDock(info);
}

void LBMainWindow::toggleDock(QDockWidget *dock)
{
    // A dock behind the other one's tab is brought to the front; one in
    // front is closed; a closed one is opened in front.
    if (dock->isVisible()) {
        dock->hide();
        return;
    }
    dock->show();
    dock->raise();
}

void LBMainWindow::on_actionMesher_triggered()
{
    showTool(mesher);
}

void LBMainWindow::on_actionSave_All_v3_triggered()
{
    saveAll(3);
}

void LBMainWindow::on_actionLoad_All_v3_triggered()
{
    openAll(3);
}

void LBMainWindow::on_actionImage_Processing_triggered()
{
    showTool(imageProcessing);
}

void LBMainWindow::on_actionGeometry_triggered()
{
    showTool(geometry);
}

void LBMainWindow::on_actionExec_2_it_triggered()
{
    view->stepMany(2);
}

void LBMainWindow::on_actionExec_4_it_triggered()
{
    view->stepMany(4);
}

void LBMainWindow::on_actionExec_8_it_triggered()
{
    view->stepMany(8);
}

void LBMainWindow::on_actionExec_16_it_triggered()
{
    view->stepMany(16);
}

void LBMainWindow::on_actionExec_32_it_triggered()
{
    view->stepMany(32);
}

void LBMainWindow::on_actionExec_64_it_triggered()
{
    view->stepMany(64);
}

void LBMainWindow::on_actionExec_128_it_triggered()
{
    view->stepMany(128);
}

void LBMainWindow::on_actionExec_256_it_triggered()
{
    view->stepMany(256);
}

void LBMainWindow::on_actionExec_512_it_triggered()
{
    view->stepMany(512);
}

void LBMainWindow::on_actionExec_1024_it_triggered()
{
    view->stepMany(1024);
}

void LBMainWindow::on_actionImmersed_triggered()
{
    immersed->refresh();
    showTool(immersed);
}

void LBMainWindow::on_actionReset_Projection_triggered()
{
    view->resetCamera();
}
