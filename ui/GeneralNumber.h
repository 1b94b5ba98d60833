#pragma once
#include <QLocale>
#include <QString>

// Numbers shown in the window (volts, dBm): the shortest general form with at most 15
// significant digits, the locale's decimal separator and no digit grouping.
QString formatGeneral(double value, const QLocale& locale = QLocale::system());
