#pragma once
#include "app/ProgramWindows.h"
#include "app/QtMessages.h"
#include "tests/support/MessageBoxRecorder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <functional>
#include <utility>

// Finds a top-level window of the program by its object name.
inline QWidget* programWindow(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name)
            return w;
    return nullptr;
}

// Every top-level window of the program goes, so the next test starts from a clean program.
inline void destroyProgramWindows() {
    for (const char* n : {"frmKestrovane", "frmAbout", "frmAnalyzer"})
        delete programWindow(n);
}

// Records every message box instead of showing it and answers questions as told.
using BoxRecorder = rig::MessageBoxRecorder;

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
