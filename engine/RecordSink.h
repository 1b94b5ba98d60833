#pragma once
#include "platform/DateTime.h"

#include <optional>
#include <string>

class LoggerTable;
struct RecordBatch;

// The logger's newest kept record, and where it sat in the logger's memory when it came: its
// offset (0 the newest) under the measurement count of that download's status; -1 when unknown.
struct KeptNewest {
    TDateTime time = 0.0;
    int measureCount = -1;
    int offset = -1;
};

// Where accepted records go besides the table, as each block is accepted, and what is already
// kept there. The engine goes on whatever the sink does with them.
class IRecordSink {
public:
    virtual ~IRecordSink() = default;
    // A block of logger row `row` was accepted; the table already holds its records and the
    // status they came under. newestOffset is the offset of the block's newest record.
    virtual void blockAccepted(const LoggerTable& table, int row, const RecordBatch& batch, int measureCount,
                               int newestOffset) = 0;
    virtual std::optional<KeptNewest> newestKept(const std::string& loggerName) = 0;
    // How many of the logger's records with times in [from, to] are kept; empty when that cannot
    // be told now (no archive, or one that fails).
    virtual std::optional<int> keptBetween(const std::string& /*loggerName*/, TDateTime /*from*/,
                                           TDateTime /*to*/) {
        return std::nullopt;
    }
    // Records accepted but not kept yet (the sink holds them back and tries again); the link
    // display says how many.
    virtual int unarchivedRecords() const { return 0; }
};
