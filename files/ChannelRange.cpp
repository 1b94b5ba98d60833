#include "files/ChannelRange.h"

#include "files/IniFile.h"

#include <algorithm>
#include <utility>

ChannelRange ChannelRange::fromSettings(const IniFile& ini) {
    ChannelRange r;
    r.minimum = std::clamp(ini.readInteger("Settings", "MinChannel", 16), 0, 255);
    r.maximum = std::clamp(ini.readInteger("Settings", "MaxChannel", 23), 0, 255);
    if (r.minimum > r.maximum)
        std::swap(r.minimum, r.maximum);
    return r;
}

int ChannelRange::bound(int channel) const {
    return std::clamp(channel, minimum, maximum);
}
