#pragma once
#include "platform/FakeClock.h"
#include "platform/PortMapping.h"
#include "platform/SerialOs.h"

#include <map>
#include <string>
#include <vector>

// Serial ports by number, each with a scripted device behind it: what it answers to "#?" and
// how it behaves otherwise. Records the line changes and writes with their fake-clock times.
class ScriptedSerialOs final : public ISerialOs {
public:
    struct Device {
        std::string reply;         // sent back for "#?" written while RTS is low
        uint32_t replyDelayMs = 0; // when the reply is complete in the input queue
        std::string tailLater;     // a part that arrives only after 100 ms
        bool flood = false;        // always reports plenty of bytes waiting
        bool takesNoBytes = false; // writes never progress
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
    std::vector<Event> events;
    std::vector<int> openAttempts;
    int currentPort = 0;
    bool rts = true; // Linux raises both lines at open
    bool dtr = true;
    int readCalls = 0;

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
        if (!currentPort)
            return false;
        setDtr(s.dtrOn);
        setRts(s.rtsOn);
        return true;
    }
    bool setQueueSizes(uint32_t, uint32_t) override { return currentPort != 0; }
    bool purge(bool in, bool) override {
        if (in)
            input_.clear();
        return currentPort != 0;
    }
    bool queueCounts(uint32_t& in, uint32_t& out) override {
        in = out = 0;
        if (!currentPort)
            return false;
        deliver();
        in = device().flood ? 4000u : static_cast<uint32_t>(input_.size());
        return true;
    }
    bool read(uint8_t* buf, uint32_t count, uint32_t& got) override {
        ++readCalls;
        got = 0;
        if (!currentPort)
            return false;
        if (device().flood) {
            for (; got < count; ++got)
                buf[got] = static_cast<uint8_t>('A' + got % 26);
            return true;
        }
        deliver();
        while (got < count && !input_.empty()) {
            buf[got++] = static_cast<uint8_t>(input_.front());
            input_.erase(0, 1);
        }
        return true;
    }
    bool write(const uint8_t* data, uint32_t count, uint32_t& written) override {
        written = 0;
        if (!currentPort)
            return false;
        if (device().takesNoBytes)
            return true;
        const std::string bytes(reinterpret_cast<const char*>(data), count);
        written = count;
        log("write " + bytes + " rts=" + (rts ? "1" : "0"));
        if (bytes == "#?" && !rts) {
            const Device& d = device();
            pending_.push_back({clock_.elapsedMs() + d.replyDelayMs, d.reply});
            if (!d.tailLater.empty())
                pending_.push_back({clock_.elapsedMs() + 100, d.tailLater});
        }
        return true;
    }
    bool setDtr(bool on) override {
        if (!currentPort)
            return false;
        if (dtr != on)
            log(std::string("dtr ") + (on ? "1" : "0"));
        dtr = on;
        return true;
    }
    bool setRts(bool on) override {
        if (!currentPort)
            return false;
        if (rts != on)
            log(std::string("rts ") + (on ? "1" : "0"));
        rts = on;
        return true;
    }
    bool modemLines(uint32_t& lines) override {
        lines = kLineCts | kLineDsr;
        return currentPort != 0;
    }

    // Puts bytes into the open port's input queue at once.
    void feed(const std::string& bytes) { input_ += bytes; }
    size_t waiting() const { return input_.size(); }

    std::vector<std::string> eventsSince(size_t from) const {
        std::vector<std::string> out;
        for (size_t i = from; i < events.size(); ++i)
            out.push_back(events[i].what);
        return out;
    }

private:
    struct Pending {
        uint64_t atMs;
        std::string bytes;
    };
    const Device& device() const { return devices.at(currentPort); }
    void deliver() {
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->atMs <= clock_.elapsedMs()) {
                input_ += it->bytes;
                it = pending_.erase(it);
            } else {
                ++it;
            }
        }
    }
    void log(const std::string& what) { events.push_back({clock_.elapsedMs(), what}); }

    FakeClock& clock_;
    std::string input_;
    std::vector<Pending> pending_;
};
