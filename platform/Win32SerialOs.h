#pragma once
#ifdef _WIN32
#include "platform/SerialOs.h"

#include <string>

// Whether an I/O call that failed with this system error code means the adapter is gone (pulled,
// or its driver stopped), as opposed to a failure of the one call.
bool isDeviceGoneError(unsigned long error);

// The serial OS layer over the Win32 communications calls. The port name is used as given
// ("\\.\Com6"), exactly as the driver forms it. A port is held exclusively: by the system's
// driver, and by a named claim where the system does not refuse a second open (Wine's ptys).
class Win32SerialOs final : public ISerialOs {
public:
    Win32SerialOs() = default;
    ~Win32SerialOs() override;
    Win32SerialOs(const Win32SerialOs&) = delete;
    Win32SerialOs& operator=(const Win32SerialOs&) = delete;

    bool open(const std::string& name) override;
    void close() override;
    bool isOpen() const override;
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
    bool deviceGone() const override { return gone_; }

private:
    bool fail(const char* what);
    bool failIo(const char* what);
    void* handle_ = nullptr; // the port while open
    void* claim_ = nullptr;  // our named claim on the port while open
    bool open_ = false;
    bool gone_ = false;
    SerialOpenFailure openFailure_ = SerialOpenFailure::None;
    std::string lastError_;
};
#endif
