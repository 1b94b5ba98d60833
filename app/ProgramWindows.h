#pragma once

// Creates the main window, the about box and the noise analyzer window in that order and shows
// the main window. The caller owns the application object and runs the event loop.
void createProgramWindows();
