#pragma once
#include "platform/SerialOs.h"
#include "sim/SimDevices.h"

#include <cstdint>
#include <string>
#include <vector>

// The simulated modem's serial port, opened through the same seam as a real one. It sees RTS
// and DTR, which a pseudo-terminal cannot carry: a write while RTS is low is a modem command,
// while RTS is high it goes on the air. Received bytes appear as the shared clock passes their
// arrival time. Everything written is kept, with its time, for tests.
class SimSerialOs final : public ISerialOs {
public:
    explicit SimSerialOs(SimDevices& devices) : devices_(devices) {}

    bool open(const std::string& name) override;
    void close() override;
    bool isOpen() const override { return open_; }
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
    bool deviceGone() const override { return open_ && gone_; }

    // The port number of a "\\.\ComN" name (any case), or 0 when it is no such name.
    static int portNumber(const std::string& name);

    struct Write {
        uint64_t atUs;
        bool command; // RTS was low
        bool dtr;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Write>& writes() const { return writes_; }
    std::vector<std::vector<uint8_t>> commands() const;
    std::vector<std::vector<uint8_t>> airRequests() const;
    // Every name open() was asked for, in order, and whether it succeeded.
    const std::vector<std::pair<std::string, bool>>& openAttempts() const { return opens_; }
    bool rts() const { return rts_; }
    bool dtr() const { return dtr_; }
    int openPort() const { return openPort_; }
    const SerialLineSettings& settings() const { return settings_; }
    SimDevices& devices() { return devices_; }

    // Makes the next open() calls fail as if the device were busy or gone.
    void setUnplugged(bool unplugged) { unplugged_ = unplugged; }
    // Another program holds this port (0: none): it exists, but does not open.
    void setHeldElsewhere(int port) { heldElsewhere_ = port; }
    // The adapter is pulled out: on the handle still open every call fails as on a removed
    // device (EIO), and no port opens until it is plugged in again.
    void pullOut();
    // Plugged in again, where the system now puts it.
    void plugIn(int port);

private:
    bool fail(const char* why);
    // False with the removed device's error when the adapter is gone under an open handle.
    bool usable();

    SimDevices& devices_;
    bool open_ = false;
    bool unplugged_ = false;
    int heldElsewhere_ = 0;
    SerialOpenFailure openFailure_ = SerialOpenFailure::None;
    bool gone_ = false;
    int openPort_ = 0;
    bool rts_ = false;
    bool dtr_ = false;
    SerialLineSettings settings_;
    std::string lastError_;
    std::vector<Write> writes_;
    std::vector<std::pair<std::string, bool>> opens_;
};
