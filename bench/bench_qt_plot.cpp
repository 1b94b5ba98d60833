// Figures of the XY plot with two lines of 72,000 points each at 1280 x 400: the cost of a full
// repaint (resize, zoom, pan) and of appending one point and painting it.
#include "widgets/TXYPlot.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

namespace {
constexpr int kPoints = 72000;
constexpr double kStep = 0.05 / 86400.0; // one report every 50 ms

struct Stats {
    double mean = 0, worst = 0, cpu = 0;
};

// CPU time of this thread: on a loaded machine the wall clock also counts time spent waiting.
double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

template <class F> Stats measure(int runs, F&& f) {
    Stats s;
    QElapsedTimer t;
    for (int i = 0; i < runs; ++i) {
        const double c0 = threadCpuMs();
        t.start();
        f(i);
        const double ms = t.nsecsElapsed() / 1e6;
        s.cpu += threadCpuMs() - c0;
        s.mean += ms;
        s.worst = std::max(s.worst, ms);
    }
    s.mean /= runs;
    s.cpu /= runs;
    return s;
}

void report(const char* what, const Stats& s, double limit) {
    std::printf("%-34s mean %7.3f ms  worst %7.3f ms  cpu %7.3f ms  (limit %.0f ms)\n", what, s.mean, s.worst,
                s.cpu, limit);
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TXYPlot plot;
    const int rssi = plot.addSeries(QColor(0, 128, 0), QColor(0, 255, 0), QColor(0, 128, 0));
    const int noise = plot.addSeries(Qt::black, QColor(128, 128, 128), Qt::black);
    plot.setValueRange(-120, -20);
    plot.setValueCaption(QString::fromUtf8("Уровень сигнала, dBm"));
    plot.resize(1280, 400);
    plot.show();
    app.processEvents();

    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noiseByte(-70, -42); // -109 .. -95 dBm in half steps
    std::uniform_int_distribution<int> rssiByte(-60, 60);   // -104 .. -44 dBm
    const double t0 = 46000.5;
    for (int i = 0; i < kPoints; ++i) {
        plot.appendPoint(noise, t0 + i * kStep, noiseByte(rng) / 2.0 - 74);
        plot.appendPoint(rssi, t0 + i * kStep + kStep / 2, rssiByte(rng) / 2.0 - 74);
    }
    const double end = t0 + kPoints * kStep;
    plot.setTimeRange(t0, end + 60 * kStep);
    plot.repaint();
    std::printf("points: %d + %d, widget %d x %d\n", plot.pointCount(rssi), plot.pointCount(noise),
                plot.width(), plot.height());

    report("full repaint: range change",
           measure(30,
                   [&](int i) {
                       plot.setTimeRange(t0 - i * kStep, end + 60 * kStep);
                       plot.repaint();
                   }),
           50);
    report("full repaint: resize",
           measure(30,
                   [&](int i) {
                       plot.resize(1280 - (i % 2), 400);
                       plot.repaint();
                   }),
           50);
    plot.resize(1280, 400);
    report("full repaint: zoom to a quarter",
           measure(30,
                   [&](int i) {
                       plot.setTimeRange(t0 + i * kStep, t0 + i * kStep + (end - t0) / 4);
                       plot.repaint();
                   }),
           50);
    plot.setTimeRange(t0, end + 3000 * kStep);
    plot.repaint();
    app.processEvents();
    int k = 0;
    const int rendersBefore = plot.fullRenderCount();
    report("append one point and paint it",
           measure(1000,
                   [&](int) {
                       plot.appendPoint(k % 2 ? rssi : noise, end + k * kStep,
                                        (k % 2 ? rssiByte(rng) : noiseByte(rng)) / 2.0 - 74);
                       ++k;
                       app.processEvents();
                   }),
           2);
    std::printf("full renders during the appends: %d (0 expected)\n", plot.fullRenderCount() - rendersBefore);
    if (argc > 1)
        plot.grab().save(QString::fromLocal8Bit(argv[1]));
    return 0;
}
