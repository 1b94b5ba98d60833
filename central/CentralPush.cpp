#include "central/CentralPush.h"

#include "archive/RecordArchive.h"
#include "central/CentralArchive.h"

#ifdef _WIN32
#include <cstdlib>
#else
#include <unistd.h>
#endif

std::string hostName() {
#ifdef _WIN32
    const char* name = std::getenv("COMPUTERNAME");
    return name ? name : "";
#else
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
#endif
}

PushReport pushArchive(RecordArchive& local, CentralArchive& central, const PushOptions& options) {
    PushReport report;
    std::string archiveId;
    int64_t mark = 0;
    auto waitingAfter = [&](int64_t block) {
        int64_t count = 0;
        report.waiting = local.recordsAfter(block, count) ? count : -1;
    };
    if (!local.archiveId(archiveId) || !local.pushedUpTo(central.databaseId(), mark)) {
        report.errorText = local.errorText();
        return report;
    }
    if (!central.registerLaptop(archiveId, options.host)) {
        report.errorText = central.errorText();
        waitingAfter(mark);
        return report;
    }
    OutgoingBatch batch;
    for (;;) {
        if (options.stop && options.stop()) {
            report.stopped = true;
            break;
        }
        if (!local.outgoing(mark, options.batchRecords, batch)) {
            report.errorText = local.errorText();
            break;
        }
        if (batch.blocks.empty()) {
            report.ok = true;
            break;
        }
        BatchCounts counts;
        if (!central.pushBatch(batch, counts)) {
            report.errorText = central.errorText();
            break;
        }
        report.recordsSent += static_cast<int64_t>(batch.recordCount());
        report.recordsAdded += counts.recordsAdded;
        report.blocksSent += static_cast<int64_t>(batch.blocks.size());
        mark = batch.lastBlock();
        // Should the mark not be kept, the next push sends this batch again and the database's keys
        // keep nothing twice; the push stops, since every later mark would fail alike.
        if (!local.setPushedUpTo(central.databaseId(), mark)) {
            report.errorText = local.errorText();
            break;
        }
        waitingAfter(mark);
        if (options.progress)
            options.progress(report);
    }
    waitingAfter(mark);
    return report;
}

std::string pushSummary(const PushReport& report) {
    std::string text = "Центральный архив: отправлено записей " + std::to_string(report.recordsSent);
    if (report.waiting > 0)
        text += ", ждут отправки " + std::to_string(report.waiting);
    else if (report.waiting == 0)
        text += ", все записи отправлены";
    if (!report.errorText.empty())
        text += " — " + report.errorText;
    return text;
}
