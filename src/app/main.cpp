#include "app/lbmainwindow.h"

#include <QApplication>

#include <cstdlib>
#include <ctime>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    LBMainWindow window;
    window.showMaximized();
    // The random initial densities come from the standard generator.
    std::srand(unsigned(std::time(nullptr)));
    return application.exec();
}
