#pragma once

class QCoreApplication;

// Qt's own texts (the standard buttons of message boxes, the file dialogs, the calendars) in
// Russian, since the interface is Russian whatever the system's language. Qt's translation comes from Qt's
// folder (Debian: qt6-translations-l10n) or from "translations" beside the program, where windeployqt puts
// it. False when there is none: the texts then stay English and everything else works.
bool installQtRussian(QCoreApplication& app);
