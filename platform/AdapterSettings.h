#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The modem's FTDI adapter holds short replies back for its latency time unless it is set up for
// small packets. Before each identification exchange the search asks the backend to make sure of
// that; a false result carries a message that the search shows at most once per search.
class IAdapterSettings {
public:
    virtual ~IAdapterSettings() = default;
    // portName: the port just opened for the exchange (a backend that sets one adapter for all
    // ports ignores it). True when all is well or there is nothing to do (no FTDI adapter);
    // false with a message text (UTF-8) when the user must set it up by hand.
    virtual bool SetAdapterBufferSizes(int firstSize, int secondSize, const std::string& portName,
                                       std::string& errorText) = 0;
};

// Leaves every adapter as it is (the in-process simulator, systems without a backend).
class NoAdapterSettings final : public IAdapterSettings {
public:
    bool SetAdapterBufferSizes(int, int, const std::string&, std::string&) override { return true; }
};

// The Windows FTDI driver keeps its buffer sizes in the registry value "ConfigData"; these are the
// rules a registry backend follows, kept free of the registry calls themselves.
namespace ftdiregistry {

inline constexpr const char* kKeyPath =
    "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+FT232RA\\0000\\Device Parameters";
inline constexpr const char* kValueName = "ConfigData";
// The longest value the backend reads; a longer one is a failure.
inline constexpr size_t kMaxValueSize = 256;

// The message shown when the value cannot be read or written.
extern const char* const kFailureText;

enum class ConfigPatch {
    Unchanged, // nothing to write: too short a value, or the sizes are already right
    Write,     // the value was patched and must be written back with its length
    Failure,   // the value cannot be handled: show kFailureText
};

// Size in bytes as the driver codes it (size / 64 - 1); -1 when no byte can hold it.
int sizeCode(int size);

// Byte 3 takes firstSize, byte 2 secondSize.
ConfigPatch patchConfigData(std::vector<uint8_t>& value, int firstSize, int secondSize);

} // namespace ftdiregistry
