#pragma once
#ifndef _WIN32
#include "platform/SerialOs.h"

#include <string>

// The serial OS layer over POSIX termios. The driver's port name is mapped to a device through
// the PortDevice pattern (see PortMapping.h); only terminal character devices are accepted, and
// a port is held exclusively (flock, which binds root too, and TIOCEXCL).
class PosixSerialOs final : public ISerialOs {
public:
    explicit PosixSerialOs(std::string devicePattern = {}) : pattern_(std::move(devicePattern)) {}
    ~PosixSerialOs() override;
    PosixSerialOs(const PosixSerialOs&) = delete;
    PosixSerialOs& operator=(const PosixSerialOs&) = delete;

    void setDevicePattern(const std::string& pattern) { pattern_ = pattern; }
    const std::string& devicePattern() const { return pattern_; }
    // The device path of the open port, or empty.
    const std::string& devicePath() const { return path_; }
    int fd() const { return fd_; }

    bool open(const std::string& name) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    bool configure(const SerialLineSettings& settings) override;
    bool setQueueSizes(uint32_t inSize, uint32_t outSize) override;
    bool purge(bool input, bool output) override;
    bool queueCounts(uint32_t& inQueue, uint32_t& outQueue) override;
    bool read(uint8_t* buffer, uint32_t count, uint32_t& got) override;
    bool write(const uint8_t* data, uint32_t count, uint32_t& written) override;
    bool setDtr(bool on) override;
    bool setRts(bool on) override;
    bool modemLines(uint32_t& lines) override;
    std::string lastError() const override { return lastError_; }
    SerialOpenFailure openFailure() const override { return openFailure_; }
    std::string deviceName(const std::string& portName) const override;
    bool deviceGone() const override { return gone_; }
    int readyDescriptor() const override { return fd_; }

private:
    bool fail(const char* what, int err);
    bool failOpen(const char* what, int err);
    bool setLine(int bit, bool on);
    std::string pattern_;
    std::string path_;
    int fd_ = -1;
    bool gone_ = false;
    std::string lastError_;
    SerialOpenFailure openFailure_ = SerialOpenFailure::None;
};

struct termios;

// Puts the line settings into a terminal's attributes (raw mode, framing, flow control, rate).
// False with an error text for settings the system cannot carry; customRate tells that the rate
// must still be set through posixSetCustomBaud.
bool posixLineAttributes(const SerialLineSettings& settings, termios& t, bool& customRate,
                         std::string& error);

// Non-standard rates through termios2 (a translation unit of its own: the kernel's termios
// header clashes with the C library's). False when the rate cannot be set.
bool posixSetCustomBaud(int fd, uint32_t rate);
#endif
