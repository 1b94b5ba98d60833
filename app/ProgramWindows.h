#pragma once
#include <QString>

class ISerialOs;
class QWidget;
class TfrmKestrovane;

// Creates the main window, the about box and the noise analyzer window in that order and shows
// the main window. The caller owns the application object and runs the event loop; closing the
// main window ends the program. A simulated port (the demonstration's) replaces the system's
// serial ports; it must outlive the windows.
TfrmKestrovane* createProgramWindows(ISerialOs* simulatedPort = nullptr);

// The settings file of a program started from this folder: what two programs must not share.
QString settingsFileOfThisProgram();
// Shows a window that may be hidden under others or minimised, in front and active.
void bringForward(QWidget* window);

// The folder of the executable, from which FileLocations finds the settings, sounds, Cfg and Archive.
QString programDirectory();
// Runs the program from another folder (the demonstration's, a test's).
void setProgramDirectory(const QString& dir);
inline void setProgramDirForTests(const QString& dir) {
    setProgramDirectory(dir);
}
