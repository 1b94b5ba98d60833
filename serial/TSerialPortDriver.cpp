#include "serial/TSerialPortDriver.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint32_t kClosedCount = 65535;
constexpr uint32_t kMinBuf = 128;
constexpr uint32_t kMaxBuf = 8192;

uint32_t namedRate(TBaudRate rate) {
    static const uint32_t rates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                     14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    const auto i = static_cast<size_t>(rate);
    return i < std::size(rates) ? rates[i] : 0;
}

uint32_t clampBuf(uint32_t value) {
    return std::clamp(value, kMinBuf, kMaxBuf);
}

} // namespace

TSerialPortDriver::TSerialPortDriver(ISerialOs& os, IClock& clock)
    : os_(os), clock_(clock), pollBuffer_(inBufSize_, 0) {}

TSerialPortDriver::~TSerialPortDriver() {
    ClosePort();
}

void TSerialPortDriver::setPort(TPortNumber value) {
    if (IsOpen())
        return;
    port_ = value;
    if (value != pnCustom) {
        char name[32];
        std::snprintf(name, sizeof name, "\\\\.\\COM%d", static_cast<int>(value));
        portName_ = name;
    }
}

void TSerialPortDriver::setPortName(const std::string& value) {
    if (IsOpen())
        return;
    portName_ = value;
    port_ = pnCustom;
}

void TSerialPortDriver::setBaudRate(TBaudRate value) {
    baudRate_ = value;
    if (value != brCustom)
        baudRateValue_ = namedRate(value);
    if (IsOpen())
        ApplySettings();
}

void TSerialPortDriver::setBaudRateValue(uint32_t value) {
    baudRateValue_ = value;
    baudRate_ = brCustom;
    if (IsOpen())
        ApplySettings();
}

void TSerialPortDriver::setDataBits(TDataBits value) {
    dataBits_ = value;
    if (IsOpen())
        ApplySettings();
}

void TSerialPortDriver::setStopBits(TStopBits value) {
    stopBits_ = value;
    if (IsOpen())
        ApplySettings();
}

void TSerialPortDriver::setParity(TParity value) {
    parity_ = value;
    if (IsOpen())
        ApplySettings();
}

void TSerialPortDriver::setHwFlow(THwFlowControl value) {
    hwFlow_ = value;
    if (IsOpen())
        ApplySettings();
}

void TSerialPortDriver::setSwFlow(TSwFlowControl value) {
    swFlow_ = value;
    if (IsOpen())
        ApplySettings();
}

void TSerialPortDriver::setInBufSize(uint32_t value) {
    if (IsOpen())
        return;
    inBufSize_ = clampBuf(value);
    pollBuffer_.assign(inBufSize_, 0);
}

void TSerialPortDriver::setOutBufSize(uint32_t value) {
    if (IsOpen())
        return;
    outBufSize_ = clampBuf(value);
}

void TSerialPortDriver::setPollingDelay(uint16_t value) {
    value = std::max<uint16_t>(value, 5);
    if (value == pollingDelay_)
        return;
    // No poll timer runs in this program (the poll stays suspended), so there is none to restart.
    pollingDelay_ = value;
}

SerialLineSettings TSerialPortDriver::LineSettings() const {
    SerialLineSettings s;
    s.baudRate = baudRateValue_;
    s.dataBits = 5 + static_cast<int>(dataBits_);
    s.parity = static_cast<int>(parity_);
    s.stopBits = static_cast<int>(stopBits_);
    s.rtsCtsFlow = hwFlow_ == hfRTSCTS;
    s.xonXoffFlow = swFlow_ == sfXONXOFF;
    s.dtrOn = enableDtrOnOpen_;
    s.rtsOn = hwFlow_ == hfNONERTSON;
    s.xonLimit = inBufSize_ / 4;
    s.xoffLimit = inBufSize_ / 4;
    return s;
}

bool TSerialPortDriver::OpenPort() {
    if (IsOpen())
        return true;
    if (!os_.open(portName_))
        return false;
    if (!ApplySettings()) {
        ClosePort();
        return false;
    }
    return true;
}

void TSerialPortDriver::ClosePort() {
    if (!IsOpen())
        return;
    os_.close();
}

bool TSerialPortDriver::IsOpen() const {
    return os_.isOpen();
}

bool TSerialPortDriver::CheckDevice() {
    if (!IsOpen())
        return false;
    uint32_t in = 0;
    uint32_t out = 0;
    os_.queueCounts(in, out);
    return DeviceLost();
}

bool TSerialPortDriver::ApplySettings() {
    if (!IsOpen())
        return false;
    if (!os_.configure(LineSettings()))
        return false;
    if (!PurgeQueues(true, true))
        return false;
    return os_.setQueueSizes(inBufSize_, outBufSize_);
}

uint32_t TSerialPortDriver::ModemLines() {
    uint32_t lines = 0;
    if (!IsOpen() || !os_.modemLines(lines))
        return 0;
    uint32_t result = 0;
    if (lines & kLineCts)
        result |= mlCTS;
    if (lines & kLineDsr)
        result |= mlDSR;
    if (lines & kLineRing)
        result |= mlRING;
    if (lines & kLineRlsd)
        result |= mlRLSD;
    return result;
}

bool TSerialPortDriver::PurgeQueues(bool input, bool output) {
    if (!IsOpen())
        return false;
    if (!os_.purge(input, output))
        return false;
    packetClock_ = -1;
    return true;
}

uint32_t TSerialPortDriver::InputCount() {
    if (!IsOpen())
        return kClosedCount;
    uint32_t in = 0;
    uint32_t out = 0;
    if (!os_.queueCounts(in, out))
        return 0;
    return in;
}

uint16_t TSerialPortDriver::OutputFree() {
    if (!IsOpen())
        return static_cast<uint16_t>(kClosedCount);
    uint32_t in = 0;
    uint32_t out = 0;
    if (!os_.queueCounts(in, out))
        return 0;
    // A kernel queue can hold more than our nominal size; that is no room, not a wrapped-around plenty.
    if (out >= outBufSize_)
        return 0;
    return static_cast<uint16_t>(outBufSize_ - out);
}

uint32_t TSerialPortDriver::WriteBytesTimed(const uint8_t* data, uint32_t count, uint32_t timeoutMs) {
    if (!IsOpen())
        return 0;
    uint32_t start = clock_.tickCount();
    uint32_t written = 0;
    while (count > 0) {
        const uint16_t room = OutputFree();
        if (room > 0) {
            if (checkLineStatus_ && ModemLines() == 0)
                break;
            uint32_t n = 0;
            os_.write(data, std::min<uint32_t>(count, room), n);
            n = std::min(n, count);
            if (n > 0) {
                written += n;
                data += n;
                count -= n;
                start = clock_.tickCount();
                continue;
            }
        }
        if (DeviceLost() || clock_.tickCount() - start > timeoutMs)
            break;
        clock_.idle();
    }
    return written;
}

uint32_t TSerialPortDriver::WriteBytes(const uint8_t* data, uint32_t count) {
    return WriteBytesTimed(data, count, outputTimeout_);
}

uint32_t TSerialPortDriver::ReadBytes(uint8_t* buffer, uint32_t count) {
    if (!IsOpen())
        return 0;
    SuspendPolling();
    uint32_t start = clock_.tickCount();
    uint32_t read = 0;
    while (count > 0) {
        const uint32_t waiting = InputCount();
        if (waiting > 0) {
            uint32_t n = 0;
            os_.read(buffer, std::min(count, waiting), n);
            n = std::min(n, count);
            if (n > 0) {
                read += n;
                buffer += n;
                count -= n;
                start = clock_.tickCount();
                continue;
            }
        }
        // Checked whenever nothing came, also when the queue claimed bytes that the read could not
        // deliver (a port gone away): otherwise that loop would never end.
        if (DeviceLost() || clock_.tickCount() - start > inputTimeout_)
            break;
        clock_.idle();
    }
    ResumePolling();
    return read;
}

void TSerialPortDriver::SetDtrLine(bool on) {
    if (IsOpen())
        os_.setDtr(on);
}

void TSerialPortDriver::SetRtsLine(bool on) {
    if (IsOpen())
        os_.setRts(on);
}

void TSerialPortDriver::PollTick() {
    if (!IsOpen() || suspension_ > 0)
        return;
    uint32_t in = 0;
    uint32_t out = 0;
    if (!os_.queueCounts(in, out) || in == 0)
        return;
    uint32_t got = 0;
    os_.read(pollBuffer_.data(), std::min<uint32_t>(in, inBufSize_), got);
    got = std::min(got, inBufSize_);
    if (got > 0 && OnReceiveData)
        OnReceiveData(*this, pollBuffer_.data(), got);
}
