#include "app/ProgramWindows.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    createProgramWindows();
    return app.exec();
}
