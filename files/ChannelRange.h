#pragma once

class IniFile;

// The channels the modem and the loggers may be set to: Settings/MinChannel…MaxChannel of the
// settings file, 16…23 when absent. "#C" carries one byte, so both lie in 0…255, the minimum first.
struct ChannelRange {
    int minimum = 16;
    int maximum = 23;

    static ChannelRange fromSettings(const IniFile& ini);
    // The nearer bound for a channel outside, as the channel controls bring a value into range.
    int bound(int channel) const;
};
