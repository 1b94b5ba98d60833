#include "modem/ModemLink.h"

#include <algorithm>
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

std::string joined(const std::vector<std::string>& items, size_t most) {
    std::string out;
    for (size_t i = 0; i < items.size() && i < most; ++i)
        out += (i > 0 ? ", " : "") + items[i];
    if (items.size() > most)
        out += " и ещё " + std::to_string(items.size() - most);
    return out;
}

// "порт 6 (…) занят другой программой" or "порты 6 (…), 7 (…) заняты другими программами".
std::string busyPhrase(const std::vector<std::string>& ports, bool capital) {
    const bool one = ports.size() == 1;
    return std::string(capital ? "П" : "п") + (one ? "орт " : "орты ") + joined(ports, 4) +
           (one ? " занят другой программой" : " заняты другими программами");
}
} // namespace

ModemLink::ModemLink(TSerialPortDriver& port, IClock& clock) : port_(port), clock_(clock) {}

std::string ModemLink::portLabel(int port) const {
    const std::string name = "\\\\.\\Com" + std::to_string(port);
    std::string device = port_.os().deviceName(name);
    if (device == name)
        device = "COM" + std::to_string(port);
    return std::to_string(port) + " (" + device + ")";
}

std::string ModemLink::notFoundPanelText(const SearchReport& r) {
    if (!r.busy.empty())
        return "Модем не найден: " + busyPhrase(r.busy, false);
    if (!r.denied.empty())
        return "Модем не найден: нет доступа к порту " + joined(r.denied, 4);
    return "Модем не найден: ни один порт не ответил";
}

std::string ModemLink::notFoundText(const SearchReport& r) {
    std::string text = "Модем не найден.";
    if (!r.busy.empty())
        text += "\r\n" + busyPhrase(r.busy, true) + (r.busy.size() == 1 ? ": закройте её" : ": закройте их") +
                " и снова включите модем.";
    if (!r.denied.empty())
        text += "\r\nНет доступа к порту " + joined(r.denied, 4) +
                ": добавьте пользователя в группу dialout (sudo adduser $USER dialout) и войдите в систему "
                "заново.";
    if (r.busy.empty() && r.denied.empty()) {
        text += "\r\nНи один порт не ответил на запрос модема (проверены порт " +
                std::to_string(r.firstPort) + " и порты " + std::to_string(r.lowestPort) + "…" +
                std::to_string(kLastPort) + ").";
        if (!r.silent.empty())
            text += "\r\nОткрылись, но не ответили: " + joined(r.silent, 4) + ".";
        text += "\r\nПроверьте, что переходник USB/RK подключен к USB, и снова включите модем.";
    }
    return text;
}

std::string ModemLink::foundText(const std::string& port) {
    return "Модем найден: порт " + port;
}

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
    lastSearch_ = SearchReport();
    lastSearch_.firstPort = first;
    lastSearch_.lowestPort = portCounter(host.portSpinMinimum());
    const auto note = [this](std::vector<std::string>& list, int port) {
        const std::string label = portLabel(port);
        // The first port is tried twice; it is told once.
        if (std::find(list.begin(), list.end(), label) == list.end())
            list.push_back(label);
    };
    while (p <= kLastPort) {
        port_.setPortName("\\\\.\\Com" + std::to_string(p));
        if (!port_.OpenPort()) {
            const SerialOpenFailure why = port_.os().openFailure();
            if (why == SerialOpenFailure::Busy)
                note(lastSearch_.busy, p);
            else if (why == SerialOpenFailure::Denied)
                note(lastSearch_.denied, p);
        } else {
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
            note(lastSearch_.silent, p);
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
        // The switch is back off; now the user learns why.
        host.setStatusPanel1(notFoundPanelText(lastSearch_));
        host.messages().error(notFoundText(lastSearch_));
        return;
    }
    host.setPortSpinValue(p);
    host.setStatusPanel0("USB/RK " + ModemReply.substr(4, 7));
    // Whatever panel 1 said before (a lost modem, an earlier search) is over.
    host.setStatusPanel1(foundText(portLabel(p)));
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
