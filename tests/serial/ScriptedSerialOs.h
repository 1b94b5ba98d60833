#pragma once
#include "platform/FakeClock.h"
#include "platform/PortMapping.h"
#include "platform/SerialOs.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

// Serial ports by number, each with a scripted device behind it, on the fake clock: for tests that
// look at the exact bytes and line changes the driver makes. Bytes fed in arrive in order when the
// clock reaches their time. Opens, closes, line changes and writes are logged with their times.
// A port without a device does not open; a device-free instance is a port that is never there.
class ScriptedSerialOs final : public ISerialOs {
public:
    using Bytes = std::vector<uint8_t>;
    struct Device {
        std::string reply;                // sent back for "#?" written while RTS is low
        uint32_t replyDelayMs = 0;        // when the reply is complete in the input queue
        std::string tailLater;            // a part that arrives only after 100 ms
        bool flood = false;               // always reports plenty of bytes waiting
        uint32_t claimedInput = 0;        // reported waiting besides the queue, never delivered
        uint32_t outQueue = 0;            // reported still queued for output
        uint32_t writeChunk = UINT32_MAX; // at most this many bytes a write; 0: writes never progress
        uint32_t writeEveryMs = 0;        // a write takes bytes only this often
        bool refuseSettings = false;
        uint32_t lines = kLineCts | kLineDsr;
    };
    struct Event {
        uint64_t atMs;
        std::string what; // "open Com3", "close", "rts 0", "dtr 1", "write <bytes> rts=0"
    };

    static Device answering(std::string reply, uint32_t delayMs = 0, std::string tailLater = {}) {
        Device d;
        d.reply = std::move(reply);
        d.replyDelayMs = delayMs;
        d.tailLater = std::move(tailLater);
        return d;
    }

    explicit ScriptedSerialOs(FakeClock& clock) : clock_(clock) {}

    std::map<int, Device> devices;
    // The open port's device.
    Device& device() { return devices.at(currentPort); }

    std::vector<Event> events;
    std::vector<int> openAttempts;
    std::vector<SerialLineSettings> applied; // every configure, in order
    Bytes written;
    std::vector<uint32_t> readSizes; // the count of every read
    int modemLineCalls = 0;
    int currentPort = 0;
    bool rts = true; // Linux raises both lines at open
    bool dtr = true;

    bool open(const std::string& name) override {
        const int n = portmap::portNumber(name);
        openAttempts.push_back(n);
        if (!devices.count(n))
            return false;
        currentPort = n;
        rts = dtr = true;
        input_.clear();
        pending_.clear();
        log("open Com" + std::to_string(n));
        return true;
    }
    void close() override {
        if (currentPort)
            log("close");
        currentPort = 0;
    }
    bool isOpen() const override { return currentPort != 0; }
    bool configure(const SerialLineSettings& s) override {
        applied.push_back(s);
        if (!currentPort || device().refuseSettings)
            return false;
        setDtr(s.dtrOn);
        setRts(s.rtsOn);
        return true;
    }
    bool setQueueSizes(uint32_t, uint32_t) override { return currentPort != 0; }
    bool purge(bool in, bool) override {
        deliver();
        if (in)
            input_.clear();
        return currentPort != 0;
    }
    bool queueCounts(uint32_t& in, uint32_t& out) override {
        in = out = 0;
        if (!currentPort)
            return false;
        deliver();
        in = device().flood ? 4000u : static_cast<uint32_t>(input_.size()) + device().claimedInput;
        out = device().outQueue;
        return true;
    }
    bool read(uint8_t* buf, uint32_t count, uint32_t& got) override {
        readSizes.push_back(count);
        got = 0;
        if (!currentPort)
            return false;
        if (device().flood) {
            for (; got < count; ++got)
                buf[got] = static_cast<uint8_t>('A' + got % 26);
            return true;
        }
        deliver();
        for (; got < count && !input_.empty(); ++got) {
            buf[got] = input_.front();
            input_.pop_front();
        }
        return true;
    }
    bool write(const uint8_t* data, uint32_t count, uint32_t& n) override {
        n = 0;
        if (!currentPort)
            return false;
        const Device& d = device();
        if (d.writeEveryMs > 0) {
            if (clock_.elapsedMs() - lastWriteAt_ < d.writeEveryMs)
                return true;
            lastWriteAt_ = clock_.elapsedMs();
        }
        n = std::min(count, d.writeChunk);
        if (n == 0)
            return true;
        written.insert(written.end(), data, data + n);
        const std::string bytes(reinterpret_cast<const char*>(data), n);
        log("write " + bytes + " rts=" + (rts ? "1" : "0"));
        if (bytes == "#?" && !rts) {
            feed(d.reply, d.replyDelayMs);
            if (!d.tailLater.empty())
                feed(d.tailLater, 100);
        }
        return true;
    }
    bool setDtr(bool on) override { return setLine("dtr", dtr, on); }
    bool setRts(bool on) override { return setLine("rts", rts, on); }
    bool modemLines(uint32_t& lines) override {
        ++modemLineCalls;
        lines = 0;
        if (!currentPort)
            return false;
        lines = device().lines;
        return true;
    }

    // Bytes that arrive in the input queue delayMs from now, after everything fed before them.
    void feed(const Bytes& bytes, uint64_t delayMs = 0) {
        pending_.push_back({clock_.elapsedMs() + delayMs, bytes});
    }
    void feed(const std::string& bytes, uint64_t delayMs = 0) {
        feed(Bytes(bytes.begin(), bytes.end()), delayMs);
    }
    size_t waiting() {
        deliver();
        return input_.size();
    }

    std::vector<std::string> eventsSince(size_t from) const {
        std::vector<std::string> out;
        for (size_t i = from; i < events.size(); ++i)
            out.push_back(events[i].what);
        return out;
    }

private:
    struct Pending {
        uint64_t atMs;
        Bytes bytes;
    };
    void deliver() {
        while (!pending_.empty() && pending_.front().atMs <= clock_.elapsedMs()) {
            input_.insert(input_.end(), pending_.front().bytes.begin(), pending_.front().bytes.end());
            pending_.pop_front();
        }
    }
    void log(const std::string& what) { events.push_back({clock_.elapsedMs(), what}); }
    bool setLine(const char* name, bool& line, bool on) {
        if (!currentPort)
            return false;
        if (line != on)
            log(std::string(name) + (on ? " 1" : " 0"));
        line = on;
        return true;
    }

    FakeClock& clock_;
    std::deque<uint8_t> input_;
    std::deque<Pending> pending_;
    uint64_t lastWriteAt_ = 0;
};
