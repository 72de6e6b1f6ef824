#include "app/lbmainwindow.h"
#include "model/latticeboltzmann/boundary/inletformula.h"
#include "model/latticeboltzmann/grid.h"
#include "model/latticeboltzmann/simulationparameters.h"
#include "tools/geometryscriptchild.h"
#include "tools/geometryscriptjob.h"
#include "view/lbwidget.h"

#include <QApplication>

#include <cstdlib>
#include <ctime>

int main(int argc, char *argv[])
{
    // Geometry scripts and inlet formulas run in processes of this program
    // of their own, with no window.
    if (GeometryScriptChild::isCall(argc, argv))
        return GeometryScriptChild::run(argc, argv);
    if (InletFormula::isEvaluatorCall(argc, argv))
        return InletFormula::serveEvaluations(argc, argv);
    QApplication application(argc, argv);
    GeometryScriptJob::setDefaultProgram(QCoreApplication::applicationFilePath());
    InletFormula::setEvaluatorProgram(QCoreApplication::applicationFilePath());
    LBMainWindow window;
    window.showMaximized();
    // The random initial densities of the user's simulation differ from run to run.
    window.getView()->getGrid()->getParameters()->random().setSeed(unsigned(std::time(nullptr)));
    return application.exec();
}
