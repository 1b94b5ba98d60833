#pragma once
#include "platform/DateTime.h"
#include "sim/Scenario.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// One stored measurement: the six date/time bytes, the voltage value, one reading per sensor.
struct SimRecord {
    uint8_t stamp[6] = {};
    int16_t voltage = 0;
    std::vector<int16_t> readings;
};

// What a logger says back: the text of the first packet and the binary data after it.
struct LoggerReply {
    std::string text;
    std::vector<uint8_t> data;
    bool isBlock = false; // data is a run of records (damaged per record by the fault injection)
    size_t recordLength = 0;
};

// A logger's memory, clock and request handling. It knows nothing of packets or the radio; the
// modem model frames what it answers. Times are the computer's; the logger's own clock is that
// plus its offset.
class SimLogger {
public:
    SimLogger(const ScenarioLogger& config, TDateTime computerNow);

    const std::string& name() const { return name_; }
    int channel() const { return channel_; }
    int needPowerDbm() const { return needPowerDbm_; }
    int period() const { return period_; }
    size_t recordCount() const { return records_.size(); }
    const std::deque<SimRecord>& records() const { return records_; }
    int64_t clockOffsetSec() const { return clockOffsetSec_; }
    size_t recordLength() const { return 2 * sensorCodes_.size() + 10; }

    // Whole seconds of the logger's clock at the computer's time.
    int64_t clockSeconds(TDateTime computerNow) const;

    // Records the periods that passed since it was last looked at, as the real logger would have
    // measured them on its own.
    void catchUp(TDateTime computerNow);

    // The reply to one request (name + 7 bytes), or nothing when the request is not for this logger
    // or is malformed.
    std::optional<LoggerReply> handle(const std::vector<uint8_t>& request, TDateTime computerNow);

    // Byte images as they go over the air.
    std::vector<uint8_t> statusBytes(TDateTime computerNow) const;
    std::vector<uint8_t> recordBytes(const SimRecord& r) const;
    static std::vector<uint8_t> statusBytesFor(const std::string& name, int stringType, int serial,
                                               const std::vector<int16_t>& codes, int error, int battery,
                                               const uint8_t clock[6], int advance, int period, int count);
    static std::vector<uint8_t> recordBytesFor(const SimRecord& r);

private:
    SimRecord makeRecord(int64_t loggerSeconds) const;
    void addRecord(SimRecord r);
    int64_t periodSeconds() const { return int64_t(period_ > 0 ? period_ : 1) * 3600; }
    int64_t boundary(int64_t loggerSeconds) const;

    std::string name_;
    int channel_;
    int needPowerDbm_;
    int stringType_;
    int serial_;
    std::vector<int16_t> sensorCodes_;
    int error_;
    int battery_;
    int64_t clockOffsetSec_;
    int advance_;
    int period_;
    size_t memory_;
    bool measuring_;
    ScenarioGenerate formula_;
    std::deque<SimRecord> records_; // oldest first
    int64_t lastBoundary_ = 0;      // logger seconds of the last period boundary accounted for
};
