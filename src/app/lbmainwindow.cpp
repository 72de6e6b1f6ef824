#include "lbmainwindow.h"

LBMainWindow::LBMainWindow(QWidget *parent) : QMainWindow(parent)
{
    resize(1024, 768);
    setWindowTitle("Ondix ");
}
