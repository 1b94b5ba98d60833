#include "widgets/TXYPlot.h"

#include "platform/DateTime.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr int kMarkerRadius = 4; // 7-pixel ellipse in a 9-pixel sprite
constexpr int kTickLength = 4;
constexpr int kLabelGap = 2;
constexpr int kDragThreshold = 3;
// Coordinates beyond this are never turned into ints (a far-away point would overflow).
constexpr double kPixelLimit = 1e7;

bool pixelSafe(double x, double y) {
    return std::fabs(x) < kPixelLimit && std::fabs(y) < kPixelLimit;
}
} // namespace

TXYPlot::TXYPlot(QWidget* parent) : QWidget(parent) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(13);
    setFont(f);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
}

int TXYPlot::addSeries(const QColor& line, const QColor& markerFill, const QColor& markerBorder) {
    Series s;
    s.line = line;
    s.fill = markerFill;
    s.border = markerBorder;
    s.marker = makeMarker(markerFill, markerBorder);
    if (markerFill.alpha() == 255 && markerBorder.alpha() == 255) {
        for (int y = 0; y < s.marker.height(); ++y) {
            for (int x = 0; x < s.marker.width(); ++x) {
                if (qAlpha(s.marker.pixel(x, y)) == 0)
                    continue;
                const bool extends = !s.runs.empty() && s.runs.back().dy == y - kMarkerRadius &&
                                     s.runs.back().dx + s.runs.back().count == x - kMarkerRadius;
                if (extends)
                    ++s.runs.back().count;
                else
                    s.runs.push_back(
                        {x - kMarkerRadius, y - kMarkerRadius, 1, static_cast<int>(s.runPixels.size())});
                s.runPixels.push_back(s.marker.pixel(x, y));
            }
        }
    }
    series_.push_back(std::move(s));
    invalidate();
    return static_cast<int>(series_.size()) - 1;
}

QImage TXYPlot::makeMarker(const QColor& fill, const QColor& border) {
    // Hard-edged on purpose: drawing it twice at one place changes no pixel, so the incremental
    // path may redraw a neighbour's marker and a full render may skip duplicates, both exactly.
    const int size = 2 * kMarkerRadius + 1;
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    const QRgb f = fill.rgba();
    const QRgb b = border.rgba();
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double dx = x - kMarkerRadius, dy = y - kMarkerRadius;
            const double d2 = dx * dx + dy * dy;
            if (d2 <= 3.6 * 3.6)
                img.setPixel(x, y, d2 > 2.6 * 2.6 ? b : f);
        }
    }
    return img;
}

void TXYPlot::appendPoint(int series, double t, double v) {
    if (series < 0 || series >= seriesCount() || !std::isfinite(t) || !std::isfinite(v))
        return;
    Series& s = series_[static_cast<size_t>(series)];
    s.t.push_back(t);
    s.v.push_back(v);
    // While a full render is pending the new point is drawn with everything else.
    if (dirty_ || buffer_.isNull() || buffer_.size() != size())
        return;

    const double x1 = xOfTime(t), y1 = yOfValue(v);
    if (s.markersShown && x1 >= field_.left() && x1 < field_.left() + field_.width() &&
        !roomForMarkers(++s.visibleCount)) {
        // Grown too dense for markers: a full render draws it as a line, like any dense series.
        invalidate();
        return;
    }
    QPainter p(&buffer_);
    p.setClipRect(field_);
    QRect changed;
    const size_t n = s.t.size();
    if (n >= 2) {
        const double px = xOfTime(s.t[n - 2]), py = yOfValue(s.v[n - 2]);
        double a = px, b = py, c = x1, d = y1;
        if (clipToField(a, b, c, d)) {
            p.setPen(QPen(s.line, 0));
            p.drawLine(QLineF(a, b, c, d));
            changed |=
                QRectF(QPointF(a, b), QPointF(c, d)).normalized().toAlignedRect().adjusted(-1, -1, 2, 2);
        }
        // The segment must not cover the previous point's marker, as in a full render.
        if (s.markersShown)
            changed |= drawMarker(p, s, px, py);
    }
    if (s.markersShown)
        changed |= drawMarker(p, s, x1, y1);
    p.end();
    changed &= field_;
    if (!changed.isEmpty())
        update(changed);
}

void TXYPlot::setMarkerSpacing(int px) {
    markerSpacing_ = std::max(0, px);
    invalidate();
}

void TXYPlot::clearSeries(int series) {
    if (series < 0 || series >= seriesCount())
        return;
    Series& s = series_[static_cast<size_t>(series)];
    s.t.clear();
    s.v.clear();
    s.t.shrink_to_fit();
    s.v.shrink_to_fit();
    invalidate();
}

int TXYPlot::pointCount(int series) const {
    if (series < 0 || series >= seriesCount())
        return 0;
    return static_cast<int>(series_[static_cast<size_t>(series)].t.size());
}

double TXYPlot::pointTime(int series, int index) const {
    if (index < 0 || index >= pointCount(series))
        return std::numeric_limits<double>::quiet_NaN();
    return series_[static_cast<size_t>(series)].t[static_cast<size_t>(index)];
}

double TXYPlot::pointValue(int series, int index) const {
    if (index < 0 || index >= pointCount(series))
        return std::numeric_limits<double>::quiet_NaN();
    return series_[static_cast<size_t>(series)].v[static_cast<size_t>(index)];
}

bool TXYPlot::setTimeRange(double min, double max) {
    if (!std::isfinite(min) || !std::isfinite(max) || !(max > min))
        return false;
    tMin_ = min;
    tMax_ = max;
    saved_ = false;
    invalidate();
    return true;
}

bool TXYPlot::setValueRange(double min, double max) {
    if (!std::isfinite(min) || !std::isfinite(max) || !(max > min))
        return false;
    vMin_ = min;
    vMax_ = max;
    invalidate();
    return true;
}

void TXYPlot::setValueCaption(const QString& caption) {
    caption_ = caption;
    invalidate();
}

void TXYPlot::setTimeTicks(int count) {
    timeTicks_ = std::clamp(count, 2, 100);
    invalidate();
}

void TXYPlot::setValueTicks(int count) {
    valueTicks_ = std::clamp(count, 2, 100);
    invalidate();
}

QRect TXYPlot::plotRect() const {
    if (dirty_)
        const_cast<TXYPlot*>(this)->computeLayout();
    return field_;
}

double TXYPlot::xOfTime(double t) const {
    return field_.left() + (t - tMin_) * (field_.width() / (tMax_ - tMin_));
}

double TXYPlot::yOfValue(double v) const {
    return field_.top() + (vMax_ - v) * (field_.height() / (vMax_ - vMin_));
}

double TXYPlot::timeAtX(double x) const {
    if (field_.width() <= 0)
        return tMin_;
    return tMin_ + (x - field_.left()) / field_.width() * (tMax_ - tMin_);
}

QString TXYPlot::timeLabel(double t) {
    const DateTimeParts d = dt::decode(t);
    return QStringLiteral("%1:%2:%3")
        .arg(d.hour, 2, 10, QLatin1Char('0'))
        .arg(d.minute, 2, 10, QLatin1Char('0'))
        .arg(d.second, 2, 10, QLatin1Char('0'));
}

void TXYPlot::setDateTimeLabels(bool on) {
    dateLabels_ = on;
    invalidate();
}

QString TXYPlot::timeAxisLabel(double t) const {
    if (!dateLabels_)
        return timeLabel(t);
    const DateTimeParts d = dt::decode(t);
    return QStringLiteral("%1.%2.%3 %4:%5")
        .arg(d.day, 2, 10, QLatin1Char('0'))
        .arg(d.month, 2, 10, QLatin1Char('0'))
        .arg(d.year % 100, 2, 10, QLatin1Char('0'))
        .arg(d.hour, 2, 10, QLatin1Char('0'))
        .arg(d.minute, 2, 10, QLatin1Char('0'));
}

QString TXYPlot::valueLabel(double v) {
    QLocale loc = QLocale::system();
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    double r = std::nearbyint(v * 10.0) / 10.0;
    if (r == 0)
        r = 0; // never "-0"
    const bool whole = r == std::trunc(r);
    return loc.toString(r, 'f', whole ? 0 : 1);
}

void TXYPlot::invalidate() {
    dirty_ = true;
    update();
}

void TXYPlot::computeLayout() {
    const QFontMetrics fm(font());
    labelHeight_ = fm.height();
    int valueWidth = 0;
    for (int i = 0; i < valueTicks_; ++i) {
        const double v = vMin_ + i * (vMax_ - vMin_) / (valueTicks_ - 1);
        valueWidth = std::max(valueWidth, fm.horizontalAdvance(valueLabel(v)));
    }
    const int halfTime =
        fm.horizontalAdvance(dateLabels_ ? QStringLiteral("00.00.00 00:00") : QStringLiteral("00:00:00")) /
            2 +
        2;
    const int left = std::max(valueWidth + kTickLength + 2 * kLabelGap + 1, halfTime);
    int right = valueWidth + kTickLength + 2 * kLabelGap + 1;
    if (!caption_.isEmpty())
        right += labelHeight_ + 2 * kLabelGap;
    right = std::max(right, halfTime);
    const int top = labelHeight_ / 2 + 2;
    const int bottom = kTickLength + kLabelGap + labelHeight_ + 2;
    field_ = QRect(left, top, std::max(0, width() - left - right), std::max(0, height() - top - bottom));
}

void TXYPlot::renderAll() {
    computeLayout();
    if (buffer_.size() != size())
        buffer_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    dirty_ = false;
    ++fullRenders_;
    if (buffer_.isNull())
        return;
    QPainter p(&buffer_);
    p.setFont(font());
    drawFrame(p);
    p.save();
    p.setClipRect(field_);
    for (Series& s : series_)
        drawSeries(p, s);
    p.restore();
    drawAxes(p);
}

void TXYPlot::drawFrame(QPainter& p) {
    p.fillRect(rect(), palette().color(QPalette::Window));
    p.fillRect(field_, Qt::white);
    QPen grid(QColor(128, 128, 128), 0, Qt::DotLine);
    p.setPen(grid);
    // Grid of the bottom axis (vertical lines) and of the right axis (horizontal lines).
    for (int i = 1; i < timeTicks_ - 1; ++i) {
        const double x = std::floor(xOfTime(tMin_ + i * (tMax_ - tMin_) / (timeTicks_ - 1))) + 0.5;
        p.drawLine(QPointF(x, field_.top()), QPointF(x, field_.top() + field_.height() - 1));
    }
    for (int i = 1; i < valueTicks_ - 1; ++i) {
        const double y = std::floor(yOfValue(vMin_ + i * (vMax_ - vMin_) / (valueTicks_ - 1))) + 0.5;
        p.drawLine(QPointF(field_.left(), y), QPointF(field_.left() + field_.width() - 1, y));
    }
}

bool TXYPlot::clipToField(double& x0, double& y0, double& x1, double& y1) const {
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
        return false;
    const double xmin = field_.left() - 1.0, xmax = field_.left() + field_.width() + 1.0;
    const double ymin = field_.top() - 1.0, ymax = field_.top() + field_.height() + 1.0;
    const double dx = x1 - x0, dy = y1 - y0;
    const double pk[4] = {-dx, dx, -dy, dy};
    const double qk[4] = {x0 - xmin, xmax - x0, y0 - ymin, ymax - y0};
    double t0 = 0, t1 = 1;
    for (int k = 0; k < 4; ++k) {
        if (pk[k] == 0) {
            if (qk[k] < 0)
                return false;
            continue;
        }
        const double r = qk[k] / pk[k];
        if (pk[k] < 0) {
            if (r > t1)
                return false;
            t0 = std::max(t0, r);
        } else {
            if (r < t0)
                return false;
            t1 = std::min(t1, r);
        }
    }
    const double nx0 = x0 + t0 * dx, ny0 = y0 + t0 * dy;
    const double nx1 = x0 + t1 * dx, ny1 = y0 + t1 * dy;
    x0 = nx0;
    y0 = ny0;
    x1 = nx1;
    y1 = ny1;
    return true;
}

bool TXYPlot::roomForMarkers(size_t visible) const {
    return markerSpacing_ == 0 ||
           visible * static_cast<size_t>(markerSpacing_) <= static_cast<size_t>(field_.width());
}

QRect TXYPlot::drawMarker(QPainter& p, const Series& s, double x, double y) const {
    if (!pixelSafe(x, y))
        return {};
    const int cx = static_cast<int>(std::floor(x)), cy = static_cast<int>(std::floor(y));
    const QRect r(cx - kMarkerRadius, cy - kMarkerRadius, s.marker.width(), s.marker.height());
    if (!r.intersects(field_))
        return {};
    p.drawImage(r.topLeft(), s.marker);
    return r;
}

void TXYPlot::drawSeries(QPainter& p, Series& s) {
    const size_t n = s.t.size();
    if (n == 0 || field_.isEmpty()) {
        // Nothing shown: the points appended next start with room for their markers.
        s.visibleCount = 0;
        s.markersShown = true;
        return;
    }
    const int left = field_.left(), right = field_.left() + field_.width();
    constexpr int kOffLeft = std::numeric_limits<int>::min();
    constexpr int kOffRight = std::numeric_limits<int>::max();

    // Consecutive points that fall in one pixel column become one run: the segments inside it
    // are covered by the vertical stroke from its lowest to its highest point, and the run is
    // joined to its neighbours through its first and last point. Runs left or right of the
    // field draw nothing but their joins, which keeps the picture exact at O(n) cost.
    std::vector<QLineF> lines;
    lines.reserve(std::min<size_t>(n, static_cast<size_t>(field_.width()) * 3 + 8));
    auto addSegment = [&](double x0, double y0, double x1, double y1) {
        if (clipToField(x0, y0, x1, y1))
            lines.emplace_back(x0, y0, x1, y1);
    };
    bool havePrev = false, inRun = false;
    size_t visible = 0; // points inside the field
    double px = 0, py = 0, fx = 0, fy = 0, lx = 0, ly = 0, ymin = 0, ymax = 0;
    int runCol = 0;
    auto flush = [&] {
        if (!inRun)
            return;
        if (havePrev)
            addSegment(px, py, fx, fy);
        if (runCol != kOffLeft && runCol != kOffRight && ymax > ymin)
            addSegment(runCol + 0.5, ymin, runCol + 0.5, ymax);
        px = lx;
        py = ly;
        havePrev = true;
    };
    const double* ts = s.t.data();
    const double* vs = s.v.data();
    const double xs = field_.width() / (tMax_ - tMin_), x0 = field_.left();
    const double ys = field_.height() / (vMax_ - vMin_), y0 = field_.top();
    const double tMin = tMin_, vMax = vMax_;
    for (size_t i = 0; i < n; ++i) {
        const double x = x0 + (ts[i] - tMin) * xs, y = y0 + (vMax - vs[i]) * ys;
        const int col = x < left ? kOffLeft : x >= right ? kOffRight : static_cast<int>(std::floor(x));
        visible += col != kOffLeft && col != kOffRight;
        if (inRun && col == runCol) {
            ymin = std::min(ymin, y);
            ymax = std::max(ymax, y);
            lx = x;
            ly = y;
            continue;
        }
        flush();
        inRun = true;
        runCol = col;
        fx = lx = x;
        fy = ly = y;
        ymin = ymax = y;
    }
    flush();
    p.setPen(QPen(s.line, 0));
    if (!lines.empty())
        p.drawLines(lines.data(), static_cast<int>(lines.size()));

    s.visibleCount = visible;
    s.markersShown = roomForMarkers(visible);
    if (!s.markersShown)
        return;

    // Markers: one per distinct pixel; the sprite is hard-edged, so a repeat would change nothing.
    const int m = kMarkerRadius;
    const int gw = field_.width() + 2 * m, gh = field_.height() + 2 * m;
    const size_t cells = static_cast<size_t>(gw) * static_cast<size_t>(gh);
    // One bit per pixel (64 KB for a large plot) stays in cache, unlike a word per pixel.
    stamps_.assign((cells + 63) / 64, 0);
    const int gx0 = field_.left() - m, gy0 = field_.top() - m;
    const int fx0 = field_.left(), fy0 = field_.top();
    const int fx1 = field_.left() + field_.width(), fy1 = field_.top() + field_.height();
    const bool direct =
        !s.runs.empty() && p.device() == &buffer_ && buffer_.format() == QImage::Format_ARGB32_Premultiplied;
    uchar* bits = nullptr;
    qsizetype bpl = 0;
    if (direct) {
        // The raster painter draws at once, so the lines are already in the image.
        bits = buffer_.bits();
        bpl = buffer_.bytesPerLine();
    }
    for (size_t i = 0; i < n; ++i) {
        const double x = x0 + (ts[i] - tMin) * xs, y = y0 + (vMax - vs[i]) * ys;
        if (!(x >= gx0 && x < gx0 + gw && y >= gy0 && y < gy0 + gh))
            continue;
        const int cx = static_cast<int>(std::floor(x)), cy = static_cast<int>(std::floor(y));
        const size_t cell =
            static_cast<size_t>(cy - gy0) * static_cast<size_t>(gw) + static_cast<size_t>(cx - gx0);
        if (cell >= cells)
            continue;
        uint64_t& word = stamps_[cell >> 6];
        const uint64_t bit = uint64_t(1) << (cell & 63);
        if (word & bit)
            continue;
        word |= bit;
        if (direct) {
            // Same pixels as drawing the sprite (opaque and hard-edged), at a fraction of the cost:
            // whole rows are copied, and only a marker on the field's edge is cut pixel by pixel.
            const bool inside = cx - m >= fx0 && cx + m < fx1 && cy - m >= fy0 && cy + m < fy1;
            for (const Series::Run& run : s.runs) {
                const int py = cy + run.dy;
                auto* row = reinterpret_cast<uint32_t*>(bits + static_cast<ptrdiff_t>(py) * bpl);
                const uint32_t* from = s.runPixels.data() + run.first;
                if (inside) {
                    // Runs are a few pixels long: a plain loop beats a call to memcpy.
                    uint32_t* to = row + cx + run.dx;
                    for (int k = 0; k < run.count; ++k)
                        to[k] = from[k];
                    continue;
                }
                if (py < fy0 || py >= fy1)
                    continue;
                for (int k = 0; k < run.count; ++k) {
                    const int px = cx + run.dx + k;
                    if (px >= fx0 && px < fx1)
                        row[px] = from[k];
                }
            }
        } else {
            p.drawImage(QPoint(cx - m, cy - m), s.marker);
        }
    }
}

void TXYPlot::drawAxes(QPainter& p) {
    if (field_.isEmpty())
        return;
    const QFontMetrics fm(p.font());
    const int l = field_.left() - 1, r = field_.left() + field_.width(), b = field_.top() + field_.height();
    p.setPen(QPen(Qt::black, 0));
    p.drawLine(l, field_.top(), l, b);
    p.drawLine(r, field_.top(), r, b);
    p.drawLine(l, b, r, b);

    int rightLabelsEnd = r;
    for (int i = 0; i < valueTicks_; ++i) {
        const double v = vMin_ + i * (vMax_ - vMin_) / (valueTicks_ - 1);
        const int y = static_cast<int>(std::floor(yOfValue(v)));
        p.drawLine(l - kTickLength, y, l, y);
        p.drawLine(r, y, r + kTickLength, y);
        const QString text = valueLabel(v);
        const int w = fm.horizontalAdvance(text);
        const int baseline = y + fm.ascent() / 2 - 1;
        p.drawText(l - kTickLength - kLabelGap - w, baseline, text);
        p.drawText(r + kTickLength + kLabelGap, baseline, text);
        rightLabelsEnd = std::max(rightLabelsEnd, r + kTickLength + kLabelGap + w);
    }
    // Every tick keeps its mark; in a narrow plot only every step-th gets its label, so that
    // the labels never run into each other.
    const double tickSpacing = double(field_.width()) / std::max(1, timeTicks_ - 1);
    const int widest = fm.horizontalAdvance(timeAxisLabel(tMin_)) + 2 * kLabelGap;
    const int step =
        std::clamp(static_cast<int>(std::ceil(widest / std::max(1.0, tickSpacing))), 1, timeTicks_);
    for (int i = 0; i < timeTicks_; ++i) {
        const double t = tMin_ + i * (tMax_ - tMin_) / (timeTicks_ - 1);
        const int x = static_cast<int>(std::floor(xOfTime(t)));
        p.drawLine(x, b, x, b + kTickLength);
        if (i % step != 0)
            continue;
        const QString text = timeAxisLabel(t);
        const int w = fm.horizontalAdvance(text);
        p.drawText(x - w / 2, b + kTickLength + kLabelGap + fm.ascent(), text);
    }
    if (!caption_.isEmpty()) {
        p.save();
        p.translate(rightLabelsEnd + kLabelGap, field_.top() + field_.height() / 2.0);
        p.rotate(-90);
        // Reads bottom to top, the text's top facing the plot.
        const QRectF box(-field_.height() / 2.0, 0, field_.height(), fm.height());
        p.drawText(box, Qt::AlignCenter, caption_);
        p.restore();
    }
}

void TXYPlot::paintEvent(QPaintEvent* event) {
    if (dirty_ || buffer_.size() != size())
        renderAll();
    QPainter p(this);
    for (const QRect& r : event->region())
        p.drawImage(r, buffer_, r);
    if (drag_ == Drag::Zoom && moved_) {
        p.setPen(QPen(Qt::black, 0, Qt::DotLine));
        p.setBrush(QColor(0, 0, 255, 40));
        p.drawRect(bandRect().adjusted(0, 0, -1, -1));
    }
}

void TXYPlot::resizeEvent(QResizeEvent*) {
    invalidate();
}

void TXYPlot::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        invalidate();
    QWidget::changeEvent(event);
}

QRect TXYPlot::bandRect() const {
    const int x0 = std::clamp(std::min(pressPos_.x(), currentPos_.x()), field_.left(), field_.right() + 1);
    const int x1 = std::clamp(std::max(pressPos_.x(), currentPos_.x()), field_.left(), field_.right() + 1);
    return {x0, field_.top(), x1 - x0, field_.height()};
}

void TXYPlot::saveRangesOnce() {
    if (saved_)
        return;
    saved_ = true;
    savedTMin_ = tMin_;
    savedTMax_ = tMax_;
    savedVMin_ = vMin_;
    savedVMax_ = vMax_;
}

void TXYPlot::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || drag_ != Drag::None) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressPos_ = currentPos_ = event->position().toPoint();
    moved_ = false;
    pressTMin_ = tMin_;
    pressTMax_ = tMax_;
    if (event->modifiers() & Qt::ShiftModifier) {
        drag_ = Drag::Zoom;
    } else {
        drag_ = Drag::Pan;
        setCursor(Qt::SizeHorCursor);
    }
    event->accept();
}

void TXYPlot::mouseMoveEvent(QMouseEvent* event) {
    if (drag_ == Drag::None)
        return;
    const QPoint pos = event->position().toPoint();
    if (!moved_ && (pos - pressPos_).manhattanLength() > kDragThreshold)
        moved_ = true;
    if (!moved_)
        return;
    if (drag_ == Drag::Zoom) {
        const QRect before = bandRect();
        currentPos_ = pos;
        update(before.united(bandRect()).adjusted(-1, -1, 1, 1));
    } else if (field_.width() > 0) {
        saveRangesOnce();
        const double shift = -(pos.x() - pressPos_.x()) * (pressTMax_ - pressTMin_) / field_.width();
        tMin_ = pressTMin_ + shift;
        tMax_ = pressTMax_ + shift;
        invalidate();
    }
    event->accept();
}

void TXYPlot::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || drag_ == Drag::None)
        return;
    const Drag was = drag_;
    drag_ = Drag::None;
    currentPos_ = event->position().toPoint();
    if (!moved_ && (currentPos_ - pressPos_).manhattanLength() > kDragThreshold)
        moved_ = true;
    if (was == Drag::Pan) {
        unsetCursor();
    } else if (!moved_) {
        if (saved_) {
            tMin_ = savedTMin_;
            tMax_ = savedTMax_;
            vMin_ = savedVMin_;
            vMax_ = savedVMax_;
            saved_ = false;
        }
        invalidate();
    } else {
        const QRect band = bandRect();
        if (band.width() >= 2) {
            const double a = timeAtX(band.left()), b = timeAtX(band.left() + band.width());
            if (b > a) {
                saveRangesOnce();
                tMin_ = a;
                tMax_ = b;
            }
        }
        invalidate();
    }
    moved_ = false;
    event->accept();
}

void TXYPlot::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        // The press of a double-click starts no drag.
        if (drag_ == Drag::Pan)
            unsetCursor();
        drag_ = Drag::None;
        emit doubleClicked();
    }
    event->accept();
}
