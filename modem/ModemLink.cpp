#include "modem/ModemLink.h"

#include <cmath>

namespace {

constexpr uint32_t kRtsLeadMs = 10;
constexpr uint32_t kReplyWaitMs = 15;
constexpr uint32_t kMinReply = 2;
constexpr uint32_t kMaxReply = 20;
constexpr size_t kMinModemReply = 11;

// A spin edit's value as the search counts it: rounded, then taken as a 16-bit unsigned number.
uint16_t portCounter(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 1e9)
        return 0;
    return static_cast<uint16_t>(static_cast<long>(std::nearbyint(value)));
}

} // namespace

ModemLink::ModemLink(TSerialPortDriver& port, IClock& clock) : port_(port), clock_(clock) {}

void ModemLink::SendToModem(bool command, const std::string& text) {
    if (text.empty())
        return;
    if (command) {
        port_.SetRtsLine(false);
        clock_.sleepMs(kRtsLeadMs);
    }
    const auto size = static_cast<uint32_t>(text.size());
    const uint32_t written = port_.WriteBytes(reinterpret_cast<const uint8_t*>(text.data()), size);
    if (written != size && host_)
        host_->setStatusPanel1(kWriteFailedText);
    if (!command)
        return;
    clock_.sleepMs(kReplyWaitMs);
    port_.SetRtsLine(true);
    if (ReplyWanted)
        collectReply();
}

void ModemLink::collectReply() {
    ModemReply.clear();
    ReplyWanted = false;
    // The whole reply must be waiting now; a closed port's 65535 falls out here too.
    const uint32_t n = port_.InputCount();
    if (n < kMinReply || n > kMaxReply)
        return;
    if (port_.ReadBytes(ReceptionBuffer.data(), n) < n || ReceptionBuffer[0] != '?')
        return;
    for (uint32_t i = 1; i < n; ++i) {
        if (ReceptionBuffer[i] < 0x20) {
            ModemReply.clear();
            return;
        }
        ModemReply += static_cast<char>(ReceptionBuffer[i]);
    }
}

void ModemLink::SwitchConnectOn(IModemHost& host) {
    host_ = &host;
    // A port left open would ignore every new name and be asked again and again.
    port_.ClosePort();
    ModemReply.clear();
    bool adapterReported = false;
    const uint16_t first = portCounter(host.portSpinValue());
    bool firstTry = true;
    // 16 bits, so that port 256 is reached and the loop ends after it.
    uint16_t p = first;
    bool found = false;
    while (p <= kLastPort) {
        port_.setPortName("\\\\.\\Com" + std::to_string(p));
        if (port_.OpenPort()) {
            if (adapter_) {
                // Before the exchange: the adapter must pass the short reply on at once.
                std::string text;
                if (!adapter_->SetAdapterBufferSizes(256, 256, port_.PortName(), text) && !adapterReported) {
                    adapterReported = true;
                    host.messages().error(text);
                }
            }
            if (port_.PollingActive())
                port_.SuspendPolling();
            port_.SetRtsLine(true);
            port_.SetDtrLine(false);
            ReplyWanted = true;
            SendToModem(true, "#?");
            if (ModemReply.size() >= kMinModemReply && ModemReply.compare(0, 4, "M742") == 0) {
                found = true;
                break;
            }
            port_.ClosePort();
        }
        if (firstTry) {
            firstTry = false;
            p = portCounter(host.portSpinMinimum());
        } else {
            ++p;
        }
    }
    if (!found) {
        host.turnConnectSwitchOff();
        return;
    }
    host.setPortSpinValue(p);
    host.setStatusPanel0("USB/RK " + ModemReply.substr(4, 7));
    if (host.analyzerShowing())
        host.analyzerShowRoutine();
}

void ModemLink::SwitchConnectOff(IModemHost& host) {
    host_ = &host;
    host.setStatusPanel0(kNoConnectionText);
    host.switchTasksOff();
    if (host.analyzerShowing())
        host.analyzerCloseRoutine();
    port_.ClosePort();
}
