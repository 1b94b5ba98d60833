#pragma once
#include "platform/PortMapping.h"
#include "platform/SerialOs.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A serial layer, real or simulated, with every call passed on and what tests look at noted on
// the way: the ports opened or tried, the writes and the bytes each way.
template <class Os> class SerialOsTap final : public ISerialOs {
public:
    template <class... Args> explicit SerialOsTap(Args&&... args) : real(std::forward<Args>(args)...) {}

    bool open(const std::string& name) override {
        const bool ok = real.open(name);
        tried.push_back(portmap::portNumber(name));
        if (ok)
            opened.push_back(portmap::portNumber(name));
        return ok;
    }
    void close() override { real.close(); }
    bool isOpen() const override { return real.isOpen(); }
    bool configure(const SerialLineSettings& s) override { return real.configure(s); }
    bool setQueueSizes(uint32_t in, uint32_t out) override { return real.setQueueSizes(in, out); }
    bool purge(bool input, bool output) override { return real.purge(input, output); }
    bool queueCounts(uint32_t& in, uint32_t& out) override { return real.queueCounts(in, out); }
    bool read(uint8_t* buffer, uint32_t count, uint32_t& got) override {
        const bool ok = real.read(buffer, count, got);
        bytesIn += got;
        return ok;
    }
    bool write(const uint8_t* data, uint32_t count, uint32_t& written) override {
        ++writes;
        const bool ok = real.write(data, count, written);
        bytesOut += written;
        return ok;
    }
    bool setDtr(bool on) override { return real.setDtr(on); }
    bool setRts(bool on) override { return real.setRts(on); }
    bool modemLines(uint32_t& lines) override { return real.modemLines(lines); }
    std::string lastError() const override { return real.lastError(); }
    bool deviceGone() const override { return real.deviceGone(); }
    int readyDescriptor() const override { return real.readyDescriptor(); }

    Os real;
    std::vector<int> tried, opened;
    int writes = 0;
    uint64_t bytesIn = 0, bytesOut = 0;
};
