#pragma once

#include <QDir>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <memory>

#include "persistence/statedocument.h"
#include "windowserver.h"

namespace Ui {
class LBMainWindow;
}

class Animation;
class QDockWidget;
class QTimer;
class Chart;
class CodeEditor;
class Colors;
class Geometry;
class ImageProcessing;
class Immersed;
class Particles;
class Mesher;
class Parameters2;
class Info;
class Interpolation;
class Results;
class LBWidget;
class TextDialog;
class View;
class View2;

// The program's one window: the OpenGL view in the middle, every command in
// the menus, and the file commands (geometry loading and saving, images,
// exports, conversions) implemented by calling the persistence layer.
class LBMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit LBMainWindow(QWidget *parent = nullptr);
    ~LBMainWindow() override;

    LBWidget *getView() const { return view; }
    CodeEditor *getCodeEditor() const { return codeEditor; }
    Colors *getColors() const { return colors; }
    Info *getInfo() const { return info; }
    Parameters2 *getParameters() const { return parameters; }
    Results *getResults() const { return results; }
    View *getViewDock() const { return viewDock; }
    View2 *getPlanes() const { return planes; }
    Animation *getAnimation() const { return animation; }
    Interpolation *getInterpolation() const { return interpolation; }
    QList<Chart *> getCharts() const;
    // The remembered path of the last loaded geometry or state file.
    QString getFilePath() const { return filePath; }
    void setFilePath(const QString &path);
    // Whether loading a geometry keeps the camera; by default a new domain
    // is shown whole, from the front.
    bool keepsCameraOnLoad() const { return keepCameraOnLoad; }
    void setKeepCameraOnLoad(bool keep) { keepCameraOnLoad = keep; }

    // Writes the whole state with the window's panels ("Use zipped lb2"
    // compresses a version-2 document).
    bool saveAllTo(const QString &path, int version, QString *error = nullptr);

    // The simulation server: watches the folder and runs each state document
    // dropped into it ("*.lb2", once it has stayed unchanged for settleMs) as
    // ondix-run --watch does, in a grid of its own on the thread pool: the
    // window's simulation, view and dialogs stay the user's. Each document
    // is moved into "<name>-results/" beside it, where its outputs and final
    // state go; one that cannot be run gets "error.txt" there. The Info dock
    // shows the running job's progress. Refused with a notice while an
    // earlier server still finishes its job.
    void startServer(const QString &directory, int pollMs = 1000, int settleMs = 1000);
    // Takes no more documents; the running job finishes or is abandoned (it
    // stops at its next iteration with its state and outputs kept, and its
    // document goes back into the folder).
    void stopServer(WindowServer::Stop how);
    // Taking documents.
    bool isServing() const;
    // The server's thread runs: taking documents or finishing a job.
    bool isServerActive() const;
    // The document being run by the server; empty when none runs.
    QString getServedDocument() const { return servedDocument; }

protected:
    // Leaves the run-control shortcuts to the window while a text field of
    // the window has the focus (a field would take Ctrl+E as "end of line").
    bool eventFilter(QObject *watched, QEvent *event) override;

public slots:
    // Reads the state document at the remembered path (see setFilePath).
    void loadAll2(int version);
    void loadAll2();
    // Loads the geometry at the remembered path.
    void load();

private slots:
    void on_actionForces_triggered();
    void on_actionParticles_2_triggered();
    void on_actionDynamic_triggered();
    void on_actionStatic_triggered();
    void on_actionAxis_triggered();
    void on_actionDetail_triggered();
    void on_actionArrow_triggered();
    void on_actionPressure_triggered();
    void on_actionVelocity_triggered();
    void on_actionParticles_triggered();
    void on_actionAbout_triggered();
    void on_actionView2_triggered();
    void on_actionChart_triggered();
    void on_actionColors_triggered();
    void on_actionInfo_triggered();
    void on_actionView_triggered();
    void on_actionNext_triggered();
    void on_actionReset_triggered();
    void on_actionStop_triggered();
    void on_actionLoad_triggered();
    void on_actionStart_triggered();
    void on_actionSave_Image_triggered();
    void on_actionReload_All_triggered();
    void on_actionResults_triggered();
    void on_actionConvert_lb2_to_lb_triggered();
    void on_actionConvert_lb_to_lb2_triggered();
    void on_actionLoad_All_2_testing_triggered();
    void on_actionSave_All_2_testing_triggered();
    void on_actionStart_Server_triggered();
    void on_actionStop_Server_triggered();
    void on_actionChanges_triggered();
    void on_action_lb_lb2_Editor_triggered();
    void on_actionInterpolation_triggered();
    void on_actionOpenCL_triggered();
    void on_actionAnimation_triggered();
    void on_actionModel_and_Parameters_triggered();
    void on_actionSave_triggered();
    void on_actionSave_x2_triggered();
    void on_actionSave_VTK_triggered();
    void on_actionView_2_triggered();
    void on_actionInfo_2_triggered();
    void on_actionMesher_triggered();
    void on_actionSave_All_v3_triggered();
    void on_actionLoad_All_v3_triggered();
    void on_actionImage_Processing_triggered();
    void on_actionGeometry_triggered();
    void on_actionExec_2_it_triggered();
    void on_actionExec_4_it_triggered();
    void on_actionExec_8_it_triggered();
    void on_actionExec_16_it_triggered();
    void on_actionExec_32_it_triggered();
    void on_actionExec_64_it_triggered();
    void on_actionExec_128_it_triggered();
    void on_actionExec_256_it_triggered();
    void on_actionExec_512_it_triggered();
    void on_actionExec_1024_it_triggered();
    void on_actionImmersed_triggered();
    void on_actionReset_Projection_triggered();

private:
    // Loads a geometry file into the grid; on failure tells the user and
    // leaves the simulation as it was.
    bool loadGeometry(const QString &path);
    void showNewDomain(const QString &path);
    void saveGeometry(int scale);
    void selectPainter(const QString &name);
    void buildPainterMenu();
    void repaintView();
    void saveAll(int version);
    void openAll(int version);
    // Load All with messages; true when the document loaded.
    bool openDocument(const QString &path, int version);
    // Load All without messages: false with the reason when the document was
    // refused (the simulation is then as it was); warnings that did not stop
    // the load go to *warnings.
    bool loadAllFrom(const QString &path, int version, QString *error, QStringList *warnings);
    void connectServer();
    void updateServerActions();
    QList<StateDocument::Panel> documentPanels();
    // Shows what went wrong in the last burst that the user should know
    // (an inlet formula stopped for running too long).
    void reportRunProblems();
    void showTool(QWidget *tool);
    void toggleDock(QDockWidget *dock);

    std::unique_ptr<Ui::LBMainWindow> ui;
    LBWidget *view = nullptr;
    Info *info = nullptr;
    Colors *colors = nullptr;
    QList<QPointer<Chart>> charts;
    TextDialog *about = nullptr;
    TextDialog *changes = nullptr;
    CodeEditor *codeEditor = nullptr;
    Parameters2 *parameters = nullptr;
    Results *results = nullptr;
    View *viewDock = nullptr;
    View2 *planes = nullptr;
    Animation *animation = nullptr;
    Interpolation *interpolation = nullptr;
    Geometry *geometry = nullptr;
    ImageProcessing *imageProcessing = nullptr;
    Mesher *mesher = nullptr;
    Immersed *immersed = nullptr;
    Particles *particles = nullptr;
    QString filePath;
    // 2 after a Load All; Reload All reads the last document that loaded,
    // with the version it used.
    int loadedAll = 0;
    int loadedAllVersion = 2;
    QString documentPath;
    bool keepCameraOnLoad = false;
    QDir serverDirectory;
    WindowServer *server = nullptr;
    QString servedDocument;
};
