#include "app/lbmainwindow.h"
#include "tools/geometryscriptchild.h"
#include "tools/geometryscriptjob.h"

#include <QApplication>

#include <cstdlib>
#include <ctime>

int main(int argc, char *argv[])
{
    // A geometry script runs in a process of this program of its own, with
    // no window.
    if (GeometryScriptChild::isCall(argc, argv))
        return GeometryScriptChild::run(argc, argv);
    QApplication application(argc, argv);
    GeometryScriptJob::setDefaultProgram(QCoreApplication::applicationFilePath());
    LBMainWindow window;
    window.showMaximized();
    // The random initial densities come from the standard generator.
    std::srand(unsigned(std::time(nullptr)));
    return application.exec();
}
