#pragma once
#include <QString>
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
// "D1, D2, D3" and "… и ещё 7" past the first few.
QString names(const LoggerTable& table, const std::vector<int>& rows);

// "Загрузка данных — 7 из 8: выполнено 6, частично 1, не найден 1"; the names of each outcome go
// to detail, a line each.
// continued: a download that went on after the modem was lost.
QString summary(const LoggerTable& table, const std::vector<bool>& ticked, TTaskKind kind, bool stopped,
                bool continued = false, QString* detail = nullptr);

// After a channel change some loggers moved and others did not: which stand where and what to do.
// Empty when the group stayed whole.
QString splitNote(const LoggerTable& table, const std::vector<int>& moved, const std::vector<int>& stayed,
                  int oldChannel, int newChannel, bool modemMoved);

} // namespace tasktext
