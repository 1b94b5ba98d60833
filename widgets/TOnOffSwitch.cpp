#include "widgets/TOnOffSwitch.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int kGlyphWidth = 30;
constexpr int kGlyphHeight = 16;
constexpr int kGap = 4;
} // namespace

TOnOffSwitch::TOnOffSwitch(const QString& caption, QWidget* parent) : QWidget(parent), caption_(caption) {
    // Commands are started by the mouse only: no focus, hence no toggle key and no focus frame.
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(caption);
    setCursor(Qt::PointingHandCursor);
}

void TOnOffSwitch::setCaption(const QString& caption) {
    caption_ = caption;
    setAccessibleName(caption);
    updateGeometry();
    update();
}

void TOnOffSwitch::setOn(bool on) {
    if (on == on_)
        return;
    on_ = on;
    if (isVisible())
        repaint();
    // A copy, because the handler may replace or detach the handlers while it runs.
    const std::function<void()> handler = on_ ? onHandler_ : offHandler_;
    if (handler)
        handler();
}

QSize TOnOffSwitch::sizeHint() const {
    const int textWidth = caption_.isEmpty() ? 0 : kGap + fontMetrics().horizontalAdvance(caption_);
    return {kGlyphWidth + textWidth + 2, qMax(kGlyphHeight + 4, fontMetrics().height() + 2)};
}

QSize TOnOffSwitch::minimumSizeHint() const {
    return {kGlyphWidth + 2, kGlyphHeight + 2};
}

QRect TOnOffSwitch::glyphRect() const {
    return {1, (height() - kGlyphHeight) / 2, kGlyphWidth, kGlyphHeight};
}

void TOnOffSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF g = QRectF(glyphRect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal r = g.height() / 2;
    const bool enabled = isEnabled();

    // Track: green when on, grey when off; the knob sits at the end that names the state.
    QColor track = on_ ? QColor(0, 150, 60) : QColor(170, 170, 170);
    if (!enabled)
        track = track.lighter(140);
    p.setPen(QPen(track.darker(130), 1));
    p.setBrush(track);
    p.drawRoundedRect(g, r, r);

    const qreal knobD = g.height() - 4;
    const qreal knobX = on_ ? g.right() - 2 - knobD : g.left() + 2;
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(QColor(250, 250, 250));
    p.drawEllipse(QRectF(knobX, g.top() + 2, knobD, knobD));

    // A small mark on the track: a bar for on, a ring for off, readable without colour.
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(Qt::NoBrush);
    const qreal cy = g.center().y();
    if (on_) {
        const qreal x = g.left() + r;
        p.drawLine(QPointF(x, cy - 3.5), QPointF(x, cy + 3.5));
    } else {
        p.drawEllipse(QPointF(g.right() - r, cy), 3.0, 3.0);
    }

    if (!caption_.isEmpty()) {
        p.setPen(palette().color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        const QRect text(glyphRect().right() + 1 + kGap, 0, width() - glyphRect().right() - 1 - kGap,
                         height());
        p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, caption_);
    }
}

void TOnOffSwitch::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void TOnOffSwitch::mouseReleaseEvent(QMouseEvent* event) {
    // A click is a press and a release over the control, as with a button.
    const bool click =
        pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click)
        setOn(!on_);
}

void TOnOffSwitch::mouseDoubleClickEvent(QMouseEvent* event) {
    // The first click of a double click has toggled already; its second release must not toggle
    // back, or a task would start and stop at once after its first request went out.
    pressed_ = false;
    event->accept();
}
