#pragma once

#include <QMainWindow>

// The program's one window.
class LBMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit LBMainWindow(QWidget *parent = nullptr);
};
