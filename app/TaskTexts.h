#pragma once
#include <QString>
#include <QStringList>
#include <vector>

class LoggerTable;
enum class TTaskKind;

// The window's own words about a task: what a question acts on, how a task ended, what a channel
// change left behind. Rows are indexes into the table; names come out as the user reads them.
namespace tasktext {

// "1 логгер", "3 логгера", "5 логгеров" (what is acted on).
QString loggersCount(int n);
// "1 логгера", "3 логгеров" (of whose memory).
QString loggersOf(int n);
// "1 записи", "5 записей" (after "нет").
QString recordsOf(int n);
// "D1, D2, D3" and "… и ещё 7" past the first few.
QString names(const LoggerTable& table, const std::vector<int>& rows);

// "Загрузка данных — 7 из 8: выполнено 6, частично 1, не найден 1"; the names of each outcome go
// to detail, a line each.
// continued: a download that went on after the modem was lost.
QString summary(const LoggerTable& table, const std::vector<bool>& ticked, TTaskKind kind, bool stopped,
                bool continued = false, QString* detail = nullptr);

// What the clock task found of one logger: its clock less the computer's, and whether it was set.
struct ClockFinding {
    int row = -1;
    bool valid = false; // the clock formed a date
    long long seconds = 0;
    bool leftAlone = false; // within the allowance, or only checked
    bool set = false;       // set and confirmed
};
// "+14 с", "−5 мин 12 с", "+2 ч 0 мин 3 с": a deviation to the second, as an allowance is given.
QString deviationText(long long seconds);
// A row's hint: "Часы: +14 с к часам компьютера, в допуске — не устанавливались".
QString clockHint(const ClockFinding& f, bool checkOnly);
// "часы: в допуске 5, установлены 2, наибольшее отклонение −5 мин 12 с (D2)"; a line per logger to
// lines.
QString clockNote(const LoggerTable& table, const std::vector<ClockFinding>& findings, bool checkOnly,
                  QStringList* lines = nullptr);

// After a channel change some loggers moved and others did not: which stand where and what to do.
// Empty when the group stayed whole.
QString splitNote(const LoggerTable& table, const std::vector<int>& moved, const std::vector<int>& stayed,
                  int oldChannel, int newChannel, bool modemMoved);

} // namespace tasktext
