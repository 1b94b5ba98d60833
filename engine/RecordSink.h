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
};

// How many records a logger holds that are newer than its newest kept one: by the count of
// measurements since that download when the logger's memory has kept counting, and never fewer
// than whole periods since that record's time.
int NewRecordCount(const KeptNewest& kept, int measureCount, int periodHours, TDateTime now);
