#include "sim/SimSerialOs.h"

#include <algorithm>
#include <cctype>

int SimSerialOs::portNumber(const std::string& name) {
    static const std::string kPrefix = "\\\\.\\com";
    if (name.size() <= kPrefix.size() || name.size() > kPrefix.size() + 3)
        return 0;
    for (size_t i = 0; i < kPrefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != kPrefix[i])
            return 0;
    int n = 0;
    for (size_t i = kPrefix.size(); i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

bool SimSerialOs::fail(const char* why) {
    lastError_ = why;
    return false;
}

bool SimSerialOs::usable() {
    if (!open_)
        return fail("The handle is invalid");
    if (gone_)
        return fail("Input/output error");
    return true;
}

void SimSerialOs::pullOut() {
    gone_ = true;
    unplugged_ = true;
}

void SimSerialOs::plugIn(int port) {
    unplugged_ = false;
    devices_.setPorts({port});
}

bool SimSerialOs::open(const std::string& name) {
    const int port = portNumber(name);
    const auto& ports = devices_.ports();
    bool ok = false;
    openFailure_ = SerialOpenFailure::Busy;
    if (open_) {
        fail("Access is denied (the port is already open)");
    } else if (port != 0 && port == heldElsewhere_) {
        fail("Device or resource busy");
    } else if (unplugged_ || port == 0 || std::find(ports.begin(), ports.end(), port) == ports.end()) {
        openFailure_ = SerialOpenFailure::Absent;
        fail("The system cannot find the file specified");
    } else {
        ok = true;
        openFailure_ = SerialOpenFailure::None;
    }
    opens_.emplace_back(name, ok);
    if (!ok)
        return false;
    open_ = true;
    openPort_ = port;
    // Linux raises both lines on open; the driver is expected to set them as it wants.
    rts_ = true;
    dtr_ = true;
    devices_.setDtr(true);
    // Nothing that arrived while the port was closed is kept.
    devices_.dropArrived();
    lastError_.clear();
    return true;
}

void SimSerialOs::close() {
    if (!open_)
        return;
    open_ = false;
    gone_ = false;
    openPort_ = 0;
    dtr_ = false;
    rts_ = false;
    devices_.setDtr(false);
    devices_.dropArrived();
}

bool SimSerialOs::configure(const SerialLineSettings& s) {
    if (!usable())
        return false;
    settings_ = s;
    dtr_ = s.dtrOn;
    rts_ = s.rtsOn;
    devices_.setDtr(dtr_);
    // The modem speaks 57600 8N1 only; at other settings it sees noise and sends garbage back.
    devices_.setLineUsable(s.baudRate == SimDevices::kBitRate && s.dataBits == 8 && s.parity == 0 &&
                           s.stopBits == 0);
    return true;
}

bool SimSerialOs::setQueueSizes(uint32_t, uint32_t) {
    return usable();
}

bool SimSerialOs::purge(bool input, bool) {
    if (!usable())
        return false;
    if (input)
        devices_.dropArrived();
    return true;
}

bool SimSerialOs::queueCounts(uint32_t& inQueue, uint32_t& outQueue) {
    inQueue = 0;
    outQueue = 0;
    if (!usable())
        return false;
    inQueue = static_cast<uint32_t>(devices_.available());
    return true;
}

bool SimSerialOs::read(uint8_t* buffer, uint32_t count, uint32_t& got) {
    got = 0;
    if (!usable())
        return false;
    got = static_cast<uint32_t>(devices_.read(buffer, count));
    return true;
}

bool SimSerialOs::write(const uint8_t* data, uint32_t count, uint32_t& written) {
    written = 0;
    if (!usable())
        return false;
    if (count == 0)
        return true;
    writes_.push_back(Write{devices_.nowUs(), !rts_, dtr_, std::vector<uint8_t>(data, data + count)});
    if (rts_)
        devices_.air(data, count);
    else
        devices_.command(data, count);
    written = count;
    return true;
}

bool SimSerialOs::setDtr(bool on) {
    if (!usable())
        return false;
    dtr_ = on;
    devices_.setDtr(on);
    return true;
}

bool SimSerialOs::setRts(bool on) {
    if (!usable())
        return false;
    rts_ = on;
    return true;
}

bool SimSerialOs::modemLines(uint32_t& lines) {
    lines = 0;
    if (!usable())
        return false;
    lines = kLineCts | kLineDsr;
    return true;
}

std::vector<std::vector<uint8_t>> SimSerialOs::commands() const {
    std::vector<std::vector<uint8_t>> out;
    for (const Write& w : writes_)
        if (w.command)
            out.push_back(w.bytes);
    return out;
}

std::vector<std::vector<uint8_t>> SimSerialOs::airRequests() const {
    std::vector<std::vector<uint8_t>> out;
    for (const Write& w : writes_)
        if (!w.command)
            out.push_back(w.bytes);
    return out;
}
