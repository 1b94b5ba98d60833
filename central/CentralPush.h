#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class CentralArchive;
class RecordArchive;

// What one push did, and what it left.
struct PushReport {
    bool ok = false;
    int64_t recordsSent = 0;  // in batches the database committed
    int64_t recordsAdded = 0; // of those, the ones it did not hold yet
    int64_t blocksSent = 0;
    int64_t waiting = -1;  // records the database still lacks; -1 when the local archive cannot say
    bool stopped = false;  // the caller's stop ended it between batches
    std::string errorText; // why it ended early (UTF-8, Russian); empty when ok
};

struct PushOptions {
    // Records per transaction: large enough that a round trip is cheap beside it, small enough that
    // a connection lost in the middle costs little.
    size_t batchRecords = 20000;
    // The computer's name, with the local archive's id what the database knows the laptop by.
    std::string host;
    // Asked between batches; true ends the push there.
    std::function<bool()> stop;
    // After each committed batch: the report so far.
    std::function<void(const PushReport&)> progress;
};

// Sends every block of the local archive the central database lacks, a batch per transaction,
// each batch's mark set in the local archive right after the database committed it. A push killed
// at any point therefore resends at most the batch in flight, and the database's keys keep what
// it already holds once. A failure leaves the local records as they are, waiting for the next push.
PushReport pushArchive(RecordArchive& local, CentralArchive& central, const PushOptions& options);

// The computer's name as the system gives it ("" when it gives none).
std::string hostName();

// Panel 1's words for a push: how many records went, and whether any wait (UTF-8).
std::string pushSummary(const PushReport& report);
