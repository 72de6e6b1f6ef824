#include "executor.h"

#include <QMetaObject>

Executor::Executor(QObject *view) : view(view) {}

Executor::~Executor()
{
    keepGoing = false;
    wait();
}

void Executor::run()
{
    while (keepGoing)
        QMetaObject::invokeMethod(view, "run", Qt::BlockingQueuedConnection);
}
