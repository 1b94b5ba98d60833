#include "serial/LinkLogSerialOs.h"

#include "serial/LinkLog.h"

bool LinkLogSerialOs::open(const std::string& name) {
    const bool ok = inner_.open(name);
    if (log_.isOpen())
        log_.port("открыт " + inner_.deviceName(name) +
                  (ok ? std::string() : ": нет, " + inner_.lastError()));
    return ok;
}

void LinkLogSerialOs::close() {
    if (log_.isOpen() && inner_.isOpen())
        log_.port("закрыт");
    inner_.close();
}

bool LinkLogSerialOs::configure(const SerialLineSettings& settings) {
    const bool ok = inner_.configure(settings);
    if (log_.isOpen())
        log_.port(std::to_string(settings.baudRate) + " бит/с" + (ok ? "" : ": не установлено"));
    return ok;
}

bool LinkLogSerialOs::purge(bool input, bool output) {
    if (log_.isOpen())
        log_.port(std::string("очистка") + (input ? " приёма" : "") + (output ? " передачи" : ""));
    return inner_.purge(input, output);
}

bool LinkLogSerialOs::read(uint8_t* buffer, uint32_t count, uint32_t& got) {
    const bool ok = inner_.read(buffer, count, got);
    if (log_.isOpen() && got > 0 && got <= count)
        log_.bytes(LinkLog::kIn, buffer, got);
    return ok;
}

bool LinkLogSerialOs::write(const uint8_t* data, uint32_t count, uint32_t& written) {
    const bool ok = inner_.write(data, count, written);
    if (log_.isOpen() && written > 0 && written <= count)
        log_.bytes(LinkLog::kOut, data, written);
    return ok;
}

bool LinkLogSerialOs::setDtr(bool on) {
    if (log_.isOpen())
        log_.port(on ? "DTR 1" : "DTR 0");
    return inner_.setDtr(on);
}

bool LinkLogSerialOs::setRts(bool on) {
    if (log_.isOpen())
        log_.port(on ? "RTS 1" : "RTS 0");
    return inner_.setRts(on);
}
