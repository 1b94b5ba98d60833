#pragma once
#include <string>

// The only way bytes go to the modem: a command ("#" + letter + binary bytes, RTS low around it)
// or data that the modem puts on the air.
class IModemSender {
public:
    virtual ~IModemSender() = default;
    virtual void SendToModem(bool command, const std::string& text) = 0;
};
