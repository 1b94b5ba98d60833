// Redraw times of the viewer's two pictures for 20,000 records of 32 sensors: the plot of all
// sensors' readings against time and the depth–time picture (limit 50 ms each).
#include "ormix/TDepthTimeView.h"
#include "ormix/TfrmOrmix.h"
#include "widgets/TXYPlot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kRecords = 20000;
constexpr int kSensors = 32;
constexpr int kRuns = 10;

orx::Logger makeLogger() {
    orx::Logger l;
    l.LoggerName = "D4071534826";
    l.SensorReadings.assign(kSensors, {});
    for (int k = 0; k < kSensors; ++k)
        l.SensorCodes.push_back(100 + k);
    const TDateTime start = dt::encode(2026, 1, 1);
    for (int n = 0; n < kRecords; ++n) {
        l.RecordTimes.push_back(start + n / 96.0);
        l.RecordVoltages.push_back(365);
        for (int k = 0; k < kSensors; ++k)
            l.SensorReadings[static_cast<size_t>(k)].push_back(
                static_cast<int32_t>(std::lround(1000 * std::sin(n / 300.0 + k / 5.0) - 20 * k)));
        l.recordLines.push_back(static_cast<uint32_t>(n + 8));
        l.signatureOk.push_back(1);
    }
    l.firstTime = l.RecordTimes.front();
    l.lastTime = l.RecordTimes.back();
    return l;
}

struct PlotFigures {
    double mean = 0, worst = 0;
};

// Every run pans by a few per cent, so each one redraws the whole image.
PlotFigures measurePlot(const orx::Logger& logger, int markerSpacing) {
    TXYPlot plot;
    plot.resize(1000, 500);
    plot.setMarkerSpacing(markerSpacing);
    for (int k = 0; k < kSensors; ++k) {
        const QColor c = QColor::fromHsv(k * 360 / kSensors, 220, 200);
        plot.addSeries(c, c, c.darker(150));
        for (int n = 0; n < kRecords; ++n)
            plot.appendPoint(k, logger.RecordTimes[static_cast<size_t>(n)],
                             logger.SensorReadings[static_cast<size_t>(k)][static_cast<size_t>(n)]);
    }
    plot.setValueRange(-1700, 1100);
    QElapsedTimer timer;
    PlotFigures f;
    for (int run = 0; run < kRuns; ++run) {
        plot.setTimeRange(logger.firstTime + run * 2.0, logger.lastTime + run * 2.0);
        timer.start();
        const QPixmap shot = plot.grab();
        const double ms = timer.nsecsElapsed() / 1e6;
        f.worst = std::max(f.worst, ms);
        f.mean += ms / kRuns;
        if (shot.isNull())
            std::exit(1);
    }
    return f;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const orx::Logger logger = makeLogger();

    const PlotFigures asShown = measurePlot(logger, TfrmOrmix::kPlotMarkerSpacing);
    const PlotFigures everyMarker = measurePlot(logger, 0);

    TDepthTimeView depth;
    depth.resize(1000, 500);
    depth.setLogger(&logger);
    double depthWorst = 0, depthSum = 0;
    QElapsedTimer timer;
    for (int run = 0; run < kRuns; ++run) {
        depth.resize(1000 - run, 500); // a new size: the field is drawn anew
        timer.start();
        const QPixmap shot = depth.grab();
        const double ms = timer.nsecsElapsed() / 1e6;
        depthWorst = std::max(depthWorst, ms);
        depthSum += ms;
        if (shot.isNull())
            return 1;
    }

    std::printf("ormix plot redraw, %d records x %d sensors, 1000x500, as the viewer draws it: mean %.1f ms, "
                "worst %.1f ms (limit 50)\n",
                kRecords, kSensors, asShown.mean, asShown.worst);
    std::printf("ormix plot redraw, same data, every point with its marker: mean %.1f ms, worst %.1f ms\n",
                everyMarker.mean, everyMarker.worst);
    std::printf(
        "ormix depth-time redraw, same data, 1000x500: mean %.1f ms, worst %.1f ms (limit 50), %d renders\n",
        depthSum / kRuns, depthWorst, depth.fullRenderCount());
    return 0;
}
