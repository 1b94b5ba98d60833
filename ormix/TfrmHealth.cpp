#include "ormix/TfrmHealth.h"

#include "report/HealthRules.h"
#include "widgets/TXYPlot.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// A plot's ranges around its points, with a margin, never shorter than minSpan.
void fit(TXYPlot* plot, double t0, double t1, double minSpan) {
    double lo = INFINITY, hi = -INFINITY;
    for (int s = 0; s < plot->seriesCount(); ++s)
        for (int i = 0; i < plot->pointCount(s); ++i) {
            lo = std::min(lo, plot->pointValue(s, i));
            hi = std::max(hi, plot->pointValue(s, i));
        }
    if (!(lo <= hi))
        lo = hi = 0;
    const double pad = std::max((hi - lo) * 0.1, minSpan / 2);
    plot->setValueRange(lo - pad, hi + pad);
    plot->setTimeRange(t0, t1);
}

TXYPlot* newPlot(QWidget* parent, const QString& name, const QString& caption) {
    auto* p = new TXYPlot(parent);
    p->setObjectName(name);
    p->setValueCaption(caption);
    p->setDateTimeLabels(true);
    p->setTimeTicks(5);
    p->setValueTicks(5);
    p->setMinimumHeight(150);
    return p;
}

} // namespace

TfrmHealth::TfrmHealth(const QString& loggerName, const std::vector<StatusRead>& readings, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmHealth"));
    setWindowTitle(QStringLiteral("Состояние логгера %1").arg(loggerName));
    auto* column = new QVBoxLayout(this);
    warnings_ = new QLabel(this);
    warnings_->setObjectName(QStringLiteral("LabelWarnings"));
    warnings_->setWordWrap(true);
    column->addWidget(warnings_);
    battery_ = newPlot(this, QStringLiteral("PlotBattery"), QStringLiteral("Батарея, В"));
    level_ = newPlot(this, QStringLiteral("PlotLevel"), QStringLiteral("Сигнал и шум, dBm"));
    drift_ = newPlot(this, QStringLiteral("PlotDrift"), QStringLiteral("Уход часов, с/сут"));
    for (TXYPlot* p : {battery_, level_, drift_})
        column->addWidget(p, 1);

    const int bat = battery_->addSeries(QColor(0, 128, 0), QColor(0, 170, 0), Qt::black);
    const int lev = level_->addSeries(QColor(0, 0, 200), QColor(70, 110, 255), Qt::black);
    const int noise = level_->addSeries(QColor(200, 0, 0), QColor(255, 90, 90), Qt::black);
    const int dri = drift_->addSeries(QColor(150, 80, 0), QColor(230, 140, 30), Qt::black);
    double t0 = INFINITY, t1 = -INFINITY;
    const StatusRead* latest = nullptr;
    std::optional<double> latestDrift;
    for (size_t i = 0; i < readings.size(); ++i) {
        const StatusRead& r = readings[i];
        t0 = std::min(t0, r.time);
        t1 = std::max(t1, r.time);
        if (r.clockSet)
            continue;
        if (r.battery > 0)
            battery_->appendPoint(bat, r.time, r.battery);
        if (r.level)
            level_->appendPoint(lev, r.time, *r.level);
        if (r.noise)
            level_->appendPoint(noise, r.time, *r.noise);
        const std::optional<double> d = health::driftAt(readings, i);
        if (d)
            drift_->appendPoint(dri, r.time, *d);
        latest = &r;
        latestDrift = d;
    }
    if (!(t0 <= t1))
        t0 = t1 = 0;
    // A single visit still gets a day of axis.
    const double pad = std::max((t1 - t0) * 0.05, 0.5);
    fit(battery_, t0 - pad, t1 + pad, 0.2);
    fit(level_, t0 - pad, t1 + pad, 10);
    fit(drift_, t0 - pad, t1 + pad, 2 * health::kDriftLimitSecondsPerDay);

    QStringList lines;
    if (latest)
        for (const std::string& w : health::warnings(*latest, latestDrift))
            lines << QString::fromStdString(w);
    warnings_->setText(readings.empty() ? QStringLiteral("Архив не хранит статусов этого логгера.")
                       : lines.isEmpty() ? QStringLiteral("Последний статус: замечаний нет.")
                                         : QStringLiteral("Внимание: ") + lines.join("; "));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Закрыть"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);
    resize(720, 620);
}
