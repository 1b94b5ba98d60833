#pragma once
#include "engine/NoiseReader.h"
#include "platform/DateTime.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class IClock;
class IModemSender;
class IniFile;
class QTimer;
class TSerialPortDriver;
class TXYPlot;

// What the noise analyzer needs of the main window.
class IAnalyzerHost {
public:
    virtual ~IAnalyzerHost() = default;
    // A task owns the port while it runs.
    virtual bool taskRunning() const = 0;
    // SpinModChannel rounded to a whole number.
    virtual int modemChannel() const = 0;
    // The level of the latest packet, shown by the main window's link display.
    virtual void setSignalLevel(double level) = 0;
    // A read found the port's device gone (a pulled adapter).
    virtual void portLost() = 0;
};

// unitAnalyzer: plots the modem's level reports (noise floor and packets heard over the air)
// against time. It shares the main window's port and reads it only while no task runs.
class TfrmAnalyzer : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxLinePoints = 72000;

    // Runs FormCreate: the window starts hidden, placed by the "Analyzer" section of settings.
    TfrmAnalyzer(IAnalyzerHost& host, TSerialPortDriver& port, IModemSender& modem, IClock& clock,
                 const IniFile& settings, QWidget* parent = nullptr);

    void FormCreate(const IniFile& settings);
    // Also called directly while showing: after the modem was found and when a task stops.
    void FormShow();
    // Also called directly by the modem-off handler; the window then stays on the screen.
    void FormClose();
    void TimerReadRSSITimer();
    void TimerAutoShiftTimer();
    void PlotRSSIDblClick();

    // The task engine's levels during a task.
    void addRssiPoint(TDateTime t, double level);
    // The noise floor the modem reported over the last minutes, dBm (their mean); empty when the
    // analyzer has not read any then.
    std::optional<double> noiseFloor() const;
    // A task start: the engine alone reads the port from now on.
    void stopReading();
    bool autoShift() const { return autoShift_; }

    QWidget* Panel1 = nullptr;
    TXYPlot* PlotRSSI = nullptr;
    QTimer* TimerReadRSSI = nullptr;
    QTimer* TimerAutoShift = nullptr;
    int LineRSSI = -1;
    int LineNoise = -1;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    IAnalyzerHost& host_;
    TSerialPortDriver& port_;
    IModemSender& modem_;
    IClock& clock_;
    NoiseReader reader_;
    bool autoShift_ = true;
    std::array<uint8_t, NoiseReader::kBufferSize> buffer_{};
    std::vector<NoisePoint> points_;
};
