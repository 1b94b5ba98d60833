#include "ormix/TDepthTimeView.h"

#include "ormix/OrmixText.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

constexpr int kLeft = 44, kTop = 8, kBottom = 36, kLegend = 90;
const QColor kEmpty(225, 225, 225);

// Cold to warm: dark blue, cyan, green, yellow, red.
std::array<QRgb, 256> makeLut() {
    struct Stop {
        double at;
        int r, g, b;
    };
    static constexpr Stop kStops[] = {
        {0.0, 0, 0, 140}, {0.25, 0, 170, 255}, {0.5, 40, 200, 60}, {0.75, 255, 230, 0}, {1.0, 210, 0, 0}};
    std::array<QRgb, 256> lut{};
    for (int i = 0; i < 256; ++i) {
        const double x = i / 255.0;
        size_t s = 0;
        while (s + 2 < std::size(kStops) && x > kStops[s + 1].at)
            ++s;
        const Stop& a = kStops[s];
        const Stop& b = kStops[s + 1];
        const double f = (x - a.at) / (b.at - a.at);
        lut[static_cast<size_t>(i)] = qRgb(static_cast<int>(std::lround(a.r + f * (b.r - a.r))),
                                           static_cast<int>(std::lround(a.g + f * (b.g - a.g))),
                                           static_cast<int>(std::lround(a.b + f * (b.b - a.b))));
    }
    return lut;
}

} // namespace

TDepthTimeView::TDepthTimeView(QWidget* parent) : QWidget(parent), lut_(makeLut()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TDepthTimeView::setLogger(const orx::Logger* logger) {
    logger_ = logger;
    order_.clear();
    vMin_ = 0;
    vMax_ = 1;
    tMin_ = 0;
    tMax_ = 1;
    if (logger_ && logger_->recordCount() > 0) {
        const auto& t = logger_->RecordTimes;
        // A hand-edited file may hold its records out of time order.
        if (!std::is_sorted(t.begin(), t.end())) {
            order_.resize(t.size());
            std::iota(order_.begin(), order_.end(), 0u);
            std::stable_sort(order_.begin(), order_.end(),
                             [&](uint32_t a, uint32_t b) { return t[a] < t[b]; });
        }
        bool any = false;
        for (const auto& s : logger_->SensorReadings) {
            if (s.empty())
                continue;
            const auto [lo, hi] = std::minmax_element(s.begin(), s.end());
            vMin_ = any ? std::min(vMin_, *lo) : *lo;
            vMax_ = any ? std::max(vMax_, *hi) : *hi;
            any = true;
        }
        if (vMax_ <= vMin_) {
            vMin_ = vMin_ > INT32_MIN ? vMin_ - 1 : vMin_;
            vMax_ = vMin_ + 2;
        }
        tMin_ = logger_->firstTime;
        tMax_ = logger_->lastTime;
        if (!(tMax_ > tMin_)) {
            tMin_ -= 1.0 / 1440;
            tMax_ += 1.0 / 1440;
        }
    }
    field_ = QImage();
    update();
}

QRgb TDepthTimeView::colourOf(int32_t value) const {
    const double f = (static_cast<double>(value) - vMin_) / (static_cast<double>(vMax_) - vMin_);
    const long i = std::lround(std::clamp(f, 0.0, 1.0) * 255.0);
    return lut_[static_cast<size_t>(i)];
}

QRect TDepthTimeView::fieldRect() const {
    return QRect(kLeft, kTop, std::max(1, width() - kLeft - kLegend), std::max(1, height() - kTop - kBottom));
}

QImage TDepthTimeView::renderField(int width, int height) const {
    ++renders_;
    QImage img(std::max(1, width), std::max(1, height), QImage::Format_RGB32);
    img.fill(kEmpty);
    if (!logger_ || logger_->recordCount() == 0 || logger_->sensorCount() == 0)
        return img;
    const auto& t = logger_->RecordTimes;
    const size_t count = t.size();
    auto timeAt = [&](size_t i) { return order_.empty() ? t[i] : t[order_[i]]; };
    auto recordAt = [&](size_t i) { return order_.empty() ? i : static_cast<size_t>(order_[i]); };

    // For each column, the latest record at or before its time; SIZE_MAX where there is none.
    std::vector<size_t> column(static_cast<size_t>(img.width()), SIZE_MAX);
    size_t i = 0;
    for (int x = 0; x < img.width(); ++x) {
        const double tx = tMin_ + (x + 1.0) / img.width() * (tMax_ - tMin_);
        while (i < count && timeAt(i) <= tx)
            ++i;
        if (i > 0)
            column[static_cast<size_t>(x)] = recordAt(i - 1);
    }
    const size_t sensors = logger_->sensorCount();
    std::vector<size_t> rowSensor(static_cast<size_t>(img.height()));
    for (int y = 0; y < img.height(); ++y)
        rowSensor[static_cast<size_t>(y)] =
            static_cast<size_t>(y) * sensors / static_cast<size_t>(img.height());

    // Colours per column first (sensors × columns), then rows copied from them.
    std::vector<QRgb> colours(sensors * column.size(), kEmpty.rgb());
    for (size_t x = 0; x < column.size(); ++x) {
        if (column[x] == SIZE_MAX)
            continue;
        for (size_t k = 0; k < sensors; ++k)
            colours[k * column.size() + x] = colourOf(logger_->SensorReadings[k][column[x]]);
    }
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        const QRgb* src = colours.data() + rowSensor[static_cast<size_t>(y)] * column.size();
        std::copy(src, src + column.size(), line);
    }
    return img;
}

void TDepthTimeView::resizeEvent(QResizeEvent* event) {
    field_ = QImage();
    QWidget::resizeEvent(event);
}

void TDepthTimeView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRect f = fieldRect();
    if (field_.size() != f.size())
        field_ = renderField(f.width(), f.height());
    p.drawImage(f.topLeft(), field_);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawRect(f.adjusted(0, 0, -1, -1));
    const QFontMetrics fm = p.fontMetrics();

    // Sensor numbers down the left, as many as fit.
    const size_t sensors = logger_ ? logger_->sensorCount() : 0;
    if (sensors > 0) {
        const double band = static_cast<double>(f.height()) / sensors;
        const size_t step = std::max<size_t>(1, static_cast<size_t>(std::ceil(fm.height() / band)));
        for (size_t k = 0; k < sensors; k += step) {
            const int y = f.top() + static_cast<int>((k + 0.5) * band);
            const QString s = QString::number(k + 1);
            p.drawText(f.left() - 6 - fm.horizontalAdvance(s), y + fm.ascent() / 2, s);
        }
    }
    // Times along the bottom.
    if (logger_ && logger_->recordCount() > 0) {
        const int ticks = std::max(2, std::min(6, f.width() / 130));
        for (int i = 0; i < ticks; ++i) {
            const double frac = static_cast<double>(i) / (ticks - 1);
            const int x = f.left() + static_cast<int>(frac * (f.width() - 1));
            const QString s = ormix::dateTimeText(tMin_ + frac * (tMax_ - tMin_)).left(14);
            const int w = fm.horizontalAdvance(s);
            const int tx = std::clamp(x - w / 2, 0, width() - w);
            p.drawLine(x, f.bottom(), x, f.bottom() + 4);
            p.drawText(tx, f.bottom() + 6 + fm.ascent(), s);
        }
    }
    // Legend: the colour scale with its raw values.
    const QRect bar(f.right() + 14, f.top(), 16, f.height());
    for (int y = 0; y < bar.height(); ++y) {
        const double frac = 1.0 - static_cast<double>(y) / std::max(1, bar.height() - 1);
        p.setPen(QColor(lut_[static_cast<size_t>(std::lround(frac * 255))]));
        p.drawLine(bar.left(), bar.top() + y, bar.right(), bar.top() + y);
    }
    p.setPen(palette().color(QPalette::WindowText));
    p.drawRect(bar.adjusted(0, 0, -1, -1));
    const double mid = (static_cast<double>(vMin_) + vMax_) / 2;
    p.drawText(bar.right() + 4, bar.top() + fm.ascent(), QString::number(vMax_));
    p.drawText(bar.right() + 4, bar.center().y() + fm.ascent() / 2, QString::number(mid, 'f', 0));
    p.drawText(bar.right() + 4, bar.bottom(), QString::number(vMin_));
}
