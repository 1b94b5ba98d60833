#pragma once

// Called before the application object is made. On Windows the windows' text goes through
// DirectWrite: with Qt's older GDI engine, line edits and spin fields stay empty under Wine (where
// the program is tested), and DirectWrite draws the same text on every Windows the program runs on.
// A platform chosen by the user (QT_QPA_PLATFORM, -platform) is left as it is.
void choosePlatformDefaults();
