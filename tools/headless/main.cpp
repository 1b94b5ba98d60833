// kv-headless: downloads a group through the modem without any window and writes its
// measurement file; the serial backend is the platform's own.
#include "tools/headless/HeadlessDownload.h"

#include "platform/Clock.h"
#include "serial/TSerialPortDriver.h"

#ifdef _WIN32
#include "platform/AdapterSettingsWin32.h"
#include "platform/Win32SerialOs.h"
#else
#include "platform/AdapterSettingsLinux.h"
#include "platform/PosixSerialOs.h"
#endif

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    headless::Options options;
    std::string error;
    if (!headless::parseOptions(args, options, error)) {
        std::fprintf(stderr, "kv-headless: %s\n%s", error.c_str(), headless::usageText());
        return headless::kUsage;
    }
    SystemClock& clock = SystemClock::instance();
#ifdef _WIN32
    Win32SerialOs os;
    Win32AdapterSettings adapter;
    IAdapterSettings* adapterSettings = &adapter;
#elif defined(__linux__)
    PosixSerialOs os(options.portDevice);
    LinuxAdapterSettings adapter(&os);
    IAdapterSettings* adapterSettings = &adapter;
#else
    PosixSerialOs os(options.portDevice);
    IAdapterSettings* adapterSettings = nullptr;
#endif
    TSerialPortDriver port(os, clock);
    return headless::run(options, port, clock, adapterSettings, stderr);
}
