#pragma once
#ifdef _WIN32
#include "platform/AdapterSettings.h"

// The FTDI driver's buffer sizes in its registry value; one adapter for every port, so the port
// name is not looked at. Nothing happens without the key (no adapter, or no right to change it).
class Win32AdapterSettings final : public IAdapterSettings {
public:
    bool SetAdapterBufferSizes(int firstSize, int secondSize, const std::string& portName,
                               std::string& errorText) override;
};
#endif
