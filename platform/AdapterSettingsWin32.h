#pragma once
#ifdef _WIN32
#include "platform/AdapterSettings.h"

// The FTDI driver's buffer sizes in its registry value, set once per search for every port.
class Win32AdapterSettings final : public IAdapterSettings {
public:
    bool SetAdapterBufferSizes(int firstSize, int secondSize, const std::string& portName,
                               std::string& errorText) override;
};
#endif
