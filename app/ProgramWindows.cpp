#include "app/ProgramWindows.h"

#include <QMainWindow>

void createProgramWindows() {
    auto* w = new QMainWindow;
    w->setObjectName("frmKestrovane");
    w->setWindowTitle("Kestrovane");
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
}
