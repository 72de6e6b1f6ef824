#include "lbmainwindow.h"

#include "codeeditor.h"
#include "interpolation.h"
#include "notice.h"
#include "parameters2.h"
#include "results.h"
#include "textdialog.h"
#include "ui_lbmainwindow.h"

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
#include "tools/savefilename.h"
#include "view/animation.h"
#include "view/chart.h"
#include "view/colors.h"
#include "view/info.h"
#include "view/lbwidget.h"
#include "view/painters.h"
#include "view/renderer.h"
#include "view/view.h"
#include "view/view2.h"
#include "windowserver.h"

#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>

namespace {

const char *creditsText = "<h3>Ondix</h3>"
                          "<p>An interactive simulator of fluid flow by the lattice-Boltzmann method.</p>"
                          "<p>Built with Qt 5 and Qwt 6; drawn with OpenGL.</p>";

const char *changesText =
    "<h3>Changes</h3>"
    "<ul><li>The desktop program: geometry loading, the run loop with bursts, frame captures and run tables, "
    "the OpenGL view with its camera and painters, images of the geometry and of the view, and the .lb/.lb2 "
    "editor.</li>"
    "<li>The Info dock with the run's figures, probe readouts and performance switches; charts of deltaP, drag, "
    "velocity and pressure.</li>"
    "<li>Physical models beside plain fluid: body forces, multiphase and multicomponent flow, colour gradient, "
    "heat, deposition, porous media, shallow water, free surface, moving particles, immersed bodies, tracers "
    "and coloured scalars.</li>"
    "<li>Curved walls and shapes (boxes, cylinders, spheres and STL meshes) placed with the Mesher, with the "
    "forces on them in the results.</li>"
    "<li>Plain fluid, gravity, the multiphase force, porous media, shallow water, heat, deposition, two "
    "Shan–Chen components, the colour gradient and coloured scalars step on line kernels over the grid's own "
    "arrays; plain fluid sites keep no neighbour table (256 bytes a D2Q9 site, 416 a D3Q19 site, 184 and 264 "
    "with single-precision populations).</li>"
    "<li>Flat 2D fields of every scalar painter and of the multicomponent painter are drawn as one "
    "texture.</li>"
    "<li>The state document (.lb2/.lb3) saves and resumes every model; VTK series for ParaView.</li>"
    "<li>A simulation server in the window and ondix-run for batch runs: several documents at once "
    "(--jobs), and one run over several processes with mpirun, each process reading and writing only its own "
    "part of the domain, geometry files and tables included.</li></ul>";

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
    server = new WindowServer(this);
    connectServer();
    updateServerActions();
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
    // A job the server runs is abandoned as Stop Server would: its document
    // goes back to the folder. Its thread ends before the docks it reports to.
    delete server;
    server = nullptr;
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
    showNewDomain(path);
    if (warnings)
        *warnings = document.warnings();
    return true;
}

void LBMainWindow::saveAll(int version)
{
    const QString name =
        version == 3
            ? SaveFileName::ask(this, QStringLiteral("Save All (v3)"), QStringLiteral("*.lb3"), QStringLiteral("lb3"))
            : SaveFileName::ask(this, QStringLiteral("Save All (v2)"), QStringLiteral("*.lb2"), QStringLiteral("lb2"));
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
    showNewDomain(path);
    return true;
}

// After a document or a geometry replaced the domain: the view starts a new
// run from it, and the dialogs, the Info dock and the charts show what is now
// in force (a geometry can change the model, as layers make it 3D, and gives
// its inlets and outlets their own strategies).
void LBMainWindow::showNewDomain(const QString &path)
{
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
}

void LBMainWindow::saveGeometry(int scale)
{
    const QString name =
        SaveFileName::ask(this, QStringLiteral("Save Geometry"), QStringLiteral("*.png"), QStringLiteral("png"));
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
        SaveFileName::ask(this, QStringLiteral("Save Image"), QStringLiteral("*.png"), QStringLiteral("png"));
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
    if (!server->isJobRunning()) {
        stopServer(WindowServer::Stop::Finish);
        return;
    }
    QMessageBox box(QMessageBox::Question, tr("Stop Server"),
                    tr("The server is running %1. Let it run to its end, or abandon it now? An abandoned job keeps "
                       "the outputs it has written and its state so far in its results folder, and its document "
                       "goes back to the watched folder.")
                        .arg(QFileInfo(servedDocument).fileName()),
                    QMessageBox::NoButton, this);
    QPushButton *finish = box.addButton(tr("Let It Finish"), QMessageBox::AcceptRole);
    QPushButton *abandon = box.addButton(tr("Abandon"), QMessageBox::DestructiveRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(finish);
    box.exec();
    if (box.clickedButton() == finish)
        stopServer(WindowServer::Stop::Finish);
    else if (box.clickedButton() == abandon)
        stopServer(WindowServer::Stop::Abandon);
}

void LBMainWindow::startServer(const QString &directory, int pollMs, int settleMs)
{
    // A server with no job ends within a poll step; one that runs a job goes
    // on with it.
    if (server->isWatching())
        server->stop(WindowServer::Stop::Finish);
    QElapsedTimer clock;
    clock.start();
    while (server->isActive() && !server->isJobRunning() && clock.elapsed() < 1000)
        QThread::msleep(10);
    if (server->isActive()) {
        // The earlier server's job has to end first: two servers of one
        // window would report into one Info line.
        showNotice(this, tr("Start Server"),
                   tr("The server is still finishing its job in %1; start it again once that job has ended.")
                       .arg(QDir::toNativeSeparators(server->directory())));
        updateServerActions();
        return;
    }
    serverDirectory = QDir(directory);
    server->start(serverDirectory.absolutePath(), pollMs, settleMs);
    updateServerActions();
}

void LBMainWindow::stopServer(WindowServer::Stop how)
{
    server->stop(how);
    updateServerActions();
}

bool LBMainWindow::isServing() const
{
    return server->isWatching();
}

bool LBMainWindow::isServerActive() const
{
    return server->isActive();
}

void LBMainWindow::updateServerActions()
{
    ui->actionStart_Server->setEnabled(!server->isWatching());
    // Stop Server stays offered while a job finishes, to abandon it.
    ui->actionStop_Server->setEnabled(server->isActive());
}

void LBMainWindow::connectServer()
{
    // Queued: the server reports from its job's thread.
    connect(server, &WindowServer::jobStarted, this, [this](const QString &job, const QString &document) {
        servedDocument = document;
        info->showServerJob(job, 0, 0, 0.0);
    });
    connect(server, &WindowServer::jobProgress, info, &Info::showServerJob);
    connect(server, &WindowServer::jobEnded, this, [this](const QString &job) {
        servedDocument.clear();
        info->endServerJob(job);
    });
    connect(server, &WindowServer::stopped, this, &LBMainWindow::updateServerActions);
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
    // Only the formulas of the simulation shown: a served job's stay its own.
    QStringList formulas;
    for (int inlet = 0; inlet < 3; ++inlet)
        formulas << view->getGrid()->getParameters()->getInletFormula(inlet);
    const QString message = InletFormula::takeMessage(formulas);
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
