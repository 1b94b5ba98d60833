#include "ui/TfrmAnalyzer.h"

#include "files/IniFile.h"
#include "modem/ModemSender.h"
#include "platform/Clock.h"
#include "serial/TSerialPortDriver.h"
#include "ui/WindowBounds.h"
#include "widgets/TXYPlot.h"

#include <QCloseEvent>
#include <QFrame>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kSecond = 1.0 / dt::kSecondsPerDay;
constexpr int kAutoShiftMs = 2500;
} // namespace

TfrmAnalyzer::TfrmAnalyzer(IAnalyzerHost& host, TSerialPortDriver& port, IModemSender& modem, IClock& clock,
                           const IniFile& settings, QWidget* parent)
    : QWidget(parent, Qt::Window), host_(host), port_(port), modem_(modem), clock_(clock) {
    setObjectName("frmAnalyzer");
    setWindowTitle(QString::fromUtf8("Анализ шума"));
    setMinimumSize(ui::clientSizeOf(600, 300));
    resize(592, 316);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    Panel1 = panel;
    outer->addWidget(panel);
    auto* inner = new QVBoxLayout(panel);
    inner->setContentsMargins(0, 0, 0, 0);
    PlotRSSI = new TXYPlot(panel);
    PlotRSSI->setObjectName("PlotRSSI");
    inner->addWidget(PlotRSSI);

    LineRSSI = PlotRSSI->addSeries(QColor(0, 128, 0), QColor(0, 255, 0), QColor(0, 128, 0));
    LineNoise = PlotRSSI->addSeries(Qt::black, QColor(128, 128, 128), Qt::black);
    PlotRSSI->setValueRange(-120, -20);
    PlotRSSI->setValueTicks(11);
    PlotRSSI->setTimeTicks(7);
    PlotRSSI->setValueCaption(QString::fromUtf8("Уровень сигнала, dBm"));
    connect(PlotRSSI, &TXYPlot::doubleClicked, this, &TfrmAnalyzer::PlotRSSIDblClick);

    TimerReadRSSI = new QTimer(this);
    TimerReadRSSI->setObjectName("TimerReadRSSI");
    TimerReadRSSI->setInterval(NoiseReader::kNormalIntervalMs);
    connect(TimerReadRSSI, &QTimer::timeout, this, &TfrmAnalyzer::TimerReadRSSITimer);
    TimerAutoShift = new QTimer(this);
    TimerAutoShift->setObjectName("TimerAutoShift");
    TimerAutoShift->setInterval(kAutoShiftMs);
    connect(TimerAutoShift, &QTimer::timeout, this, &TfrmAnalyzer::TimerAutoShiftTimer);

    FormCreate(settings);
}

void TfrmAnalyzer::FormCreate(const IniFile& settings) {
    const TDateTime now = clock_.now();
    PlotRSSI->setTimeRange(now, now + 120 * kSecond);
    const int top = settings.readInteger("Analyzer", "Top", 512);
    const int left = settings.readInteger("Analyzer", "Left", 0);
    const int height = settings.readInteger("Analyzer", "Height", 300);
    const int width = settings.readInteger("Analyzer", "Width", 800);
    ui::placeWindow(*this, left, top, width, height);
}

void TfrmAnalyzer::FormShow() {
    reader_.resetPosition();
    autoShift_ = true;
    TimerAutoShift->start();
    TimerAutoShiftTimer();
    if (!host_.taskRunning() && port_.IsOpen()) {
        // "#C" carries one byte: a channel outside 0..255 goes to the nearer end, not modulo 256.
        const int channel = std::clamp(host_.modemChannel(), 0, 255);
        modem_.SendToModem(true, std::string("#C") + static_cast<char>(channel));
        modem_.SendToModem(true, std::string("#T\x01\x00\x32", 5));
        port_.SetDtrLine(true);
        TimerReadRSSI->setInterval(reader_.intervalMs());
        TimerReadRSSI->start();
    }
}

void TfrmAnalyzer::FormClose() {
    TimerReadRSSI->stop();
    TimerAutoShift->stop();
    if (!host_.taskRunning() && port_.IsOpen())
        port_.SetDtrLine(false);
}

void TfrmAnalyzer::TimerReadRSSITimer() {
    uint32_t n = 0;
    const uint32_t waiting = port_.InputCount();
    if (waiting > 0)
        n = port_.ReadBytes(buffer_.data(), std::min<uint32_t>(waiting, NoiseReader::kBufferSize));
    points_.clear();
    reader_.process(buffer_.data(), std::min<size_t>(n, buffer_.size()), clock_.now(), points_);
    for (const NoisePoint& p : points_) {
        host_.setSignalLevel(p.level);
        PlotRSSI->appendPoint(p.noise ? LineNoise : LineRSSI, p.time, p.level);
    }
    if (port_.DeviceLost()) {
        host_.portLost();
        return;
    }
    if (TimerReadRSSI->interval() != reader_.intervalMs())
        TimerReadRSSI->setInterval(reader_.intervalMs());
}

void TfrmAnalyzer::TimerAutoShiftTimer() {
    const TDateTime now = clock_.now();
    // Either line past the limit empties both: a stream of packets without noise reports
    // would otherwise grow the signal line without bound.
    if (PlotRSSI->pointCount(LineNoise) > kMaxLinePoints || PlotRSSI->pointCount(LineRSSI) > kMaxLinePoints) {
        PlotRSSI->clearSeries(LineNoise);
        PlotRSSI->clearSeries(LineRSSI);
    }
    // Compared in whole milliseconds: day fractions of equal instants need not be equal doubles.
    const double remainingMs = std::nearbyint((PlotRSSI->timeMax() - now) * dt::kSecondsPerDay * 1000.0);
    if (autoShift_ && remainingMs <= 5000)
        PlotRSSI->setTimeRange(now - 100 * kSecond, now + 20 * kSecond);
}

void TfrmAnalyzer::PlotRSSIDblClick() {
    autoShift_ = !autoShift_;
}

void TfrmAnalyzer::addRssiPoint(TDateTime t, double level) {
    PlotRSSI->appendPoint(LineRSSI, t, level);
}

void TfrmAnalyzer::stopReading() {
    TimerReadRSSI->stop();
}

void TfrmAnalyzer::showEvent(QShowEvent* event) {
    // A window coming back from being minimised is no new show.
    if (!event->spontaneous())
        FormShow();
    QWidget::showEvent(event);
}

void TfrmAnalyzer::closeEvent(QCloseEvent* event) {
    // The window is only hidden; it lives as long as the program.
    FormClose();
    event->accept();
}

std::optional<double> TfrmAnalyzer::noiseFloor() const {
    // The noise moves with the hour and the weather: only the last minutes speak for this visit.
    constexpr double kRecentDays = 10.0 / (24 * 60);
    const TDateTime now = clock_.now();
    double sum = 0;
    int count = 0;
    for (int i = PlotRSSI->pointCount(LineNoise); i-- > 0;) {
        if (now - PlotRSSI->pointTime(LineNoise, i) > kRecentDays)
            break;
        sum += PlotRSSI->pointValue(LineNoise, i);
        ++count;
    }
    if (count == 0)
        return std::nullopt;
    return sum / count;
}
