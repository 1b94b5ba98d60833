// Ports answering arbitrary bytes to "#?": the search must end, accept only a proper reply and
// leave the port open exactly when it reports a modem.
#include "modem/ModemLink.h"
#include "tests/serial/ScriptedSerialOs.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

struct NullMessages : IMessages {
    void error(const std::string&) override {}
    void info(const std::string&) override {}
    bool question(const std::string&) override { return false; }
};

struct Host : IModemHost {
    ModemLink* link = nullptr;
    double spin = 2;
    bool on = true;
    std::string panel0;
    NullMessages box;
    void setStatusPanel0(const std::string& t) override { panel0 = t; }
    void setStatusPanel1(const std::string&) override {}
    double portSpinValue() const override { return spin; }
    double portSpinMinimum() const override { return 2; }
    void setPortSpinValue(double v) override { spin = std::clamp(v, 2.0, 255.0); }
    void turnConnectSwitchOff() override {
        if (on) {
            on = false;
            link->SwitchConnectOff(*this);
        }
    }
    void switchTasksOff() override {}
    bool analyzerShowing() const override { return false; }
    void analyzerShowRoutine() override {}
    void analyzerCloseRoutine() override {}
    IMessages& messages() override { return box; }
};

void check(bool ok) {
    if (!ok)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FakeClock clock;
    ScriptedSerialOs os(clock);
    size_t i = 0;
    auto next = [&]() -> uint8_t { return i < size ? data[i++] : 0; };
    const int spin = next();
    const int ports = next() % 6;
    for (int k = 0; k < ports; ++k) {
        const int port = next() + 1;
        const uint8_t flags = next();
        const size_t len = std::min<size_t>(next() % 32, size - std::min(i, size));
        ScriptedSerialOs::Device d;
        d.reply.assign(reinterpret_cast<const char*>(data + i), len);
        i += len;
        d.replyDelayMs = flags & 0x1F;
        d.flood = flags & 0x20;
        if (flags & 0x40)
            d.writeChunk = 0;
        if (flags & 0x80)
            d.tailLater = "X";
        os.devices[port] = d;
    }
    TSerialPortDriver drv(os, clock);
    drv.setHwFlow(hfNONE);
    drv.setBaudRateValue(57600);
    drv.setEnableDTROnOpen(false);
    drv.setOutputTimeout(50);
    drv.setInputTimeout(50);
    ModemLink link(drv, clock);
    Host host;
    host.link = &link;
    host.spin = spin;
    link.SwitchConnectOn(host);
    check(os.openAttempts.size() <= 257);
    if (host.on) {
        check(drv.IsOpen());
        check(link.ModemReply.size() >= 11 && link.ModemReply.size() <= 19);
        check(link.ModemReply.compare(0, 4, "M742") == 0);
        check(host.panel0 == "USB/RK " + link.ModemReply.substr(4, 7));
        for (char c : link.ModemReply)
            check(static_cast<unsigned char>(c) >= 0x20);
    } else {
        check(!drv.IsOpen());
        check(host.panel0 == "Нет подключения");
    }
    return 0;
}
