#pragma once
#ifdef __linux__
#include "platform/AdapterSettings.h"

#include <functional>
#include <string>

class PosixSerialOs;

// Linux has no buffer-size setting for the adapter; what matters is the ftdi_sio latency timer
// (16 ms by default), which would hold the identification reply past its 15 ms. For an FTDI port
// this makes sure the timer reads 1 ms: first through ASYNC_LOW_LATENCY on the open port (no root
// needed), then by writing the sysfs attribute; otherwise it returns the remedy text.
class LinuxAdapterSettings final : public IAdapterSettings {
public:
    // os: the port layer whose open device is looked at (may be null: the name is mapped then);
    // sysfsRoot: "/sys", or a fake tree in tests.
    explicit LinuxAdapterSettings(const PosixSerialOs* os = nullptr, std::string sysfsRoot = "/sys");

    bool SetAdapterBufferSizes(int firstSize, int secondSize, const std::string& portName,
                               std::string& errorText) override;

    // The step that asks the driver for low latency on an open descriptor; replaceable in tests,
    // where no real ftdi_sio port exists.
    using LowLatencyCall = std::function<bool(int fd)>;
    void setLowLatencyCall(LowLatencyCall call) { lowLatency_ = std::move(call); }
    static bool requestLowLatency(int fd);

    // Kernel name of the tty behind a device path, links followed ("ttyUSB0"); empty when none.
    static std::string ttyName(const std::string& devicePath);
    bool isFtdi(const std::string& tty) const;
    // The latency timer in ms as sysfs shows it; -1 when it cannot be read.
    int readLatency(const std::string& tty) const;
    bool writeLatency(const std::string& tty, int ms) const;

    static std::string remedyText(const std::string& devicePath);

private:
    std::string latencyPath(const std::string& tty) const;
    const PosixSerialOs* os_;
    std::string root_;
    LowLatencyCall lowLatency_;
};
#endif
