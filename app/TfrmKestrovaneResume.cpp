// A download cut by a pulled adapter goes on where it stopped: the records already in the table
// stay, and each logger is asked only for what is newer than them.
#include "app/TfrmKestrovane.h"

#include "engine/RecordSink.h"
#include "ui/LoggerListView.h"
#include "widgets/TOnOffSwitch.h"

#include <QCheckBox>
#include <algorithm>

// The engine asks this sink what is kept already; for a logger whose records of the cut
// download are held, the answer is the newest of them.
class TfrmKestrovane::ResumeSink final : public IRecordSink {
public:
    explicit ResumeSink(TfrmKestrovane& w) : w_(w) {}
    void blockAccepted(const LoggerTable& table, int row, const RecordBatch& batch, int measureCount,
                       int newestOffset) override {
        if (w_.archive_)
            w_.archive_->blockAccepted(table, row, batch, measureCount, newestOffset);
    }
    std::optional<KeptNewest> newestKept(const std::string& loggerName) override {
        // Names need not be unique: the logger asked about is the one being served.
        const int cur = w_.table.CurrentLogger;
        if (cur >= 0 && cur < static_cast<int>(w_.held_.size())) {
            const HeldLogger& h = w_.held_[static_cast<size_t>(cur)];
            if (h.resumable && !h.times.empty())
                return KeptNewest{*std::max_element(h.times.begin(), h.times.end()), -1, -1};
        }
        if (w_.CheckBoxOnlyNew->isChecked() && w_.archive_)
            return w_.archive_->newestKept(loggerName);
        return std::nullopt;
    }
    int unarchivedRecords() const override { return w_.archive_ ? w_.archive_->unarchivedRecords() : 0; }

private:
    TfrmKestrovane& w_;
};

void TfrmKestrovane::noteCutDownload() {
    downloadCut_ = true;
    // Another task may run before the download goes on; it resets what tells how far each came.
    cutStates_.clear();
    cutGivenUp_.clear();
    for (const LoggerTable::Logger& l : table.loggers) {
        cutStates_.push_back(l.LoggerState);
        cutGivenUp_.push_back(l.GivenUpRecords);
    }
    cutConfig_ = table.ConfigFileName;
    cutBegin_ = dateBegin();
    cutFinish_ = dateFinish();
    cutFinishGiven_ = finishGiven();
}

bool TfrmKestrovane::mayResume() const {
    // Only the same group and the same window go on; anything else is a new download.
    return downloadCut_ && table.LoadedRecordCount > 0 && table.ConfigFileName == cutConfig_ &&
           cutStates_.size() == table.loggers.size() && dateBegin() == cutBegin_ &&
           finishGiven() == cutFinishGiven_ && (!cutFinishGiven_ || dateFinish() == cutFinish_);
}

void TfrmKestrovane::holdForResume() {
    held_.assign(table.loggers.size(), HeldLogger());
    heldUnsaved_ = table.hasUnsavedRecords();
    arrivalsAtHold_ = table.recordsArrived;
    for (size_t i = 0; i < table.loggers.size(); ++i) {
        LoggerTable::Logger& l = table.loggers[i];
        if (l.RecordTimes.empty())
            continue;
        HeldLogger& h = held_[i];
        // Records given up in the middle would stay missing behind the newest: that logger is
        // asked for the whole window again, and keeps the better of the two downloads.
        h.resumable = cutGivenUp_[i] == 0;
        h.complete = cutStates_[i] >= TaskDone;
        table.LoadedRecordCount -= static_cast<int32_t>(l.RecordTimes.size());
        h.codes = l.SensorCodes;
        h.times = std::move(l.RecordTimes);
        h.voltages = std::move(l.RecordVoltages);
        h.readings = std::move(l.SensorReadings);
        l.RecordTimes.clear();
        l.RecordVoltages.clear();
        l.SensorReadings.assign(h.readings.size(), {});
    }
    resumeSink_ = std::make_unique<ResumeSink>(*this);
    engine.setRecordSink(resumeSink_.get());
    resuming_ = true;
}

void TfrmKestrovane::mergeHeld() {
    if (!resuming_)
        return;
    resuming_ = false;
    engine.setRecordSink(archive_.get());
    const uint64_t newArrivals = table.recordsArrived - arrivalsAtHold_;
    for (size_t i = 0; i < held_.size() && i < table.loggers.size(); ++i) {
        HeldLogger& h = held_[i];
        if (h.times.empty())
            continue;
        LoggerTable::Logger& l = table.loggers[i];
        const int row = static_cast<int>(i);
        const bool fresh = !l.RecordTimes.empty();
        if (fresh && !h.resumable) {
            // A logger asked for the whole window again: its new download stands if it is whole
            // or larger than what was held.
            if (l.LoggerState >= TaskDone || l.RecordTimes.size() >= h.times.size())
                continue;
            table.dropRecords(row);
        } else if (fresh && l.SensorCodes != h.codes) {
            continue; // another thermistor string since: the new records are its own
        }
        if (l.RecordTimes.empty()) {
            l.SensorCodes = h.codes;
            l.SensorReadings.assign(h.codes.size(), {});
        }
        // The held records are older than anything asked for now: they go in front, in order.
        std::vector<int16_t> readings(h.readings.size());
        for (size_t n = 0; n < h.times.size(); ++n) {
            for (size_t k = 0; k < readings.size(); ++k)
                readings[k] = h.readings[k][n];
            table.insertRecord(row, n, h.times[n], h.voltages[n], readings.data(), readings.size());
        }
        // Nothing newer than the held records, or a download finished before the cut and not
        // reached now: the logger's records are whole.
        const bool nothingNewer = h.resumable && l.LoggerState == NoMeasurements;
        if (nothingNewer || (!fresh && h.complete && l.LoggerState < TaskDone)) {
            l.LoggerState = TaskDone;
            list_->showState(row, TaskDone);
        }
    }
    held_.clear();
    // Records put back are the user's own: unsaved only if they were, or new ones came.
    if (!heldUnsaved_ && newArrivals == 0)
        table.savedArrivals = table.recordsArrived;
    resumeSink_.reset();
}
