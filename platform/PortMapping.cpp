#include "platform/PortMapping.h"

#include <cctype>

namespace portmap {

int portNumber(const std::string& name) {
    std::string rest = name;
    if (rest.rfind("\\\\.\\", 0) == 0)
        rest.erase(0, 4);
    if (rest.size() < 4)
        return 0;
    for (int i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(rest[i])) != "com"[i])
            return 0;
    long n = 0;
    for (size_t i = 3; i < rest.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(rest[i]);
        if (!std::isdigit(c))
            return 0;
        n = n * 10 + (c - '0');
        if (n > 65535)
            return 0;
    }
    return static_cast<int>(n);
}

std::string devicePath(int n, const std::string& pattern) {
    if (n <= 0)
        return {};
    if (!pattern.empty()) {
        std::string out;
        const std::string num = std::to_string(n);
        for (size_t i = 0; i < pattern.size(); ++i) {
            if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 'd') {
                out += num;
                ++i;
            } else {
                out += pattern[i];
            }
        }
        return out;
    }
    static const char* const families[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};
    const int family = (n - 1) / 32;
    if (family >= 3)
        return {};
    return families[family] + std::to_string((n - 1) % 32);
}

std::string devicePathForName(const std::string& name, const std::string& pattern) {
    if (!name.empty() && name[0] == '/')
        return name;
    return devicePath(portNumber(name), pattern);
}

} // namespace portmap
