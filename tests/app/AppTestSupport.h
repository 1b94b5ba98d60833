#pragma once
#include "app/ProgramWindows.h"
#include "app/QtMessages.h"

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
struct BoxRecorder {
    QStringList texts;
    QStringList names;
    bool answerYes = true;
    // When set, the button pressed in every box instead (Cancel, for one).
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    // Runs while a box is open, as if something happened meanwhile.
    std::function<void()> whileOpen;
    BoxRecorder() {
        QtMessages::setHookForTests([this](QMessageBox& box) {
            texts << box.text();
            names << box.objectName();
            if (whileOpen)
                std::exchange(whileOpen, {})();
            if (answer != QMessageBox::NoButton)
                return int(answer);
            return int(answerYes ? QMessageBox::Yes : QMessageBox::No);
        });
    }
    ~BoxRecorder() { QtMessages::setHookForTests({}); }
};

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
