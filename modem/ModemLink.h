#pragma once
#include "engine/UiSeams.h"
#include "modem/ModemSender.h"
#include "platform/AdapterSettings.h"
#include "platform/Clock.h"
#include "serial/TSerialPortDriver.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// What the modem search needs of the main window.
class IModemHost {
public:
    virtual ~IModemHost() = default;
    virtual void setStatusPanel0(const std::string& text) = 0;
    virtual void setStatusPanel1(const std::string& text) = 0;
    // SpinPortNum as it stands; the control keeps a value the program sets within its range.
    virtual double portSpinValue() const = 0;
    virtual double portSpinMinimum() const = 0;
    virtual void setPortSpinValue(double value) = 0;
    // Turns SwitchConnect off, which runs SwitchConnectOff when it was on.
    virtual void turnConnectSwitchOff() = 0;
    // SwitchDownload, SwitchTime, SwitchErase, SwitchPeriod, SwitchMeas, SwitchChannel off in this
    // order; the one that is on runs its off-handler.
    virtual void switchTasksOff() = 0;
    virtual bool analyzerShowing() const = 0;
    virtual void analyzerShowRoutine() = 0;  // tunes the modem and starts its reading
    virtual void analyzerCloseRoutine() = 0; // stops its timers, the window stays shown
    virtual IMessages& messages() = 0;
};

// The modem's end of the serial port: the one way bytes go to the modem, and the search for it.
class ModemLink : public IModemSender {
public:
    static constexpr const char* kWriteFailedText = "Сбой записи выходного буфера COM-порта";
    static constexpr const char* kNoConnectionText = "Нет подключения";
    static constexpr const char* kLostText = "Связь с модемом потеряна. Проверьте подключение "
                                             "переходника USB/RK и снова включите модем.";
    static constexpr const char* kLostPanelText = "Связь с модемом потеряна";
    static constexpr int kLastPort = 256;

    // What a search that found no modem met, for telling the user why.
    struct SearchReport {
        std::vector<std::string> busy;   // "6 (/dev/ttyUSB0)": held by another program
        std::vector<std::string> denied; // no right to the device
        std::vector<std::string> silent; // opened, but no modem answered
        int firstPort = 0;
        int lowestPort = 0;
    };
    // Panel 1's line and the box's text for a search that found nothing.
    static std::string notFoundPanelText(const SearchReport& report);
    static std::string notFoundText(const SearchReport& report);
    // Panel 1 once the modem answers: "Модем найден: порт 9 (/dev/ttyUSB1)".
    static std::string foundText(const std::string& port);

    ModemLink(TSerialPortDriver& port, IClock& clock);

    // Where failed writes are reported (panel 1); the search also sets it to its own host.
    void setHost(IModemHost* host) { host_ = host; }
    // The adapter backend asked before each identification exchange; none by default.
    void setAdapterSettings(IAdapterSettings* adapter) { adapter_ = adapter; }

    void SendToModem(bool command, const std::string& text) override;
    void SwitchConnectOn(IModemHost& host);
    void SwitchConnectOff(IModemHost& host);

    // The identification reply without its "?", or empty.
    std::string ModemReply;
    // Set just before "#?"; while false nothing is read, so the bytes stay for the engine.
    bool ReplyWanted = false;
    std::array<uint8_t, 4096> ReceptionBuffer{};
    // The last search's account of the ports it tried.
    const SearchReport& lastSearch() const { return lastSearch_; }
    // "6 (/dev/ttyUSB0)": the port number and the device the system knows it by.
    std::string portLabel(int port) const;

private:
    void collectReply();
    TSerialPortDriver& port_;
    IClock& clock_;
    IModemHost* host_ = nullptr;
    IAdapterSettings* adapter_ = nullptr;
    SearchReport lastSearch_;
};
