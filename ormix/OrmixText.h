#pragma once
#include "orxparse/OrxData.h"

#include <QString>

// The viewer's texts: what the window says about a file and its loggers.
namespace ormix {

QString loggerName(const orx::Logger& l); // "(без заголовка)" for records found with no heading
QString loggerComment(const orx::Logger& l);
// The program's fixed format dd.mm.yy hh:nn:ss, as the file writes it.
QString dateTimeText(TDateTime t);
// "1 строка", "2 строки", "5 строк".
QString linesText(uint64_t n);
// One line about the whole file: records, signature verdict, unread lines.
QString fileSummary(const orx::OrxFile& f);
bool fileHasWarning(const orx::OrxFile& f);
QString sensorTitle(const orx::Logger& l, size_t k); // "Датчик 1 (код 100)"
// The logger a history is of.
QString historyName(const orx::OrxFile& f);

} // namespace ormix
