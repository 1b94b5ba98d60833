#pragma once
#include <string>

// How the driver's Windows-style port names ("\\.\Com33") find a device on this system.
namespace portmap {

// The number N of a name "\\.\ComN" or "ComN" (letters in any case); 0 when the name has another
// form or the number is out of 1..65535.
int portNumber(const std::string& name);

// Device path of port n. With a pattern (the PortDevice setting) every "%d" stands for n; without
// one, 1-32 are /dev/ttyS0..31, 33-64 /dev/ttyUSB0..31, 65-96 /dev/ttyACM0..31. Empty: no device.
std::string devicePath(int n, const std::string& pattern);

// Device path for a driver's PortName: a name that already is an absolute path is taken as it is.
std::string devicePathForName(const std::string& name, const std::string& pattern);

} // namespace portmap
