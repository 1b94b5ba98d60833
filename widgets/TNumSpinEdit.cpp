#include "widgets/TNumSpinEdit.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr int kButtonWidth = 15;
constexpr int kMaxDecimals = 10;
constexpr int kFlashMs = 700;
constexpr int kNoteMs = 3000;
} // namespace

TNumSpinEdit::TNumSpinEdit(QWidget* parent)
    : QWidget(parent), editor_(new QLineEdit(this)), up_(new QToolButton(this)),
      down_(new QToolButton(this)) {
    editor_->setObjectName("editor");
    editor_->installEventFilter(this);
    for (QToolButton* b : {up_, down_}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        b->setAutoRepeatDelay(400);
        b->setAutoRepeatInterval(80);
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    up_->setObjectName("up");
    down_->setObjectName("down");
    connect(up_, &QToolButton::clicked, this, [this] { step(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
    // textChanged covers typing and program changes alike, and fires only when the text differs.
    connect(editor_, &QLineEdit::textChanged, this, &TNumSpinEdit::textEdited);
    setFocusProxy(editor_);
    setDecimals(0);
    editor_->setText(format(value_));
}

int TNumSpinEdit::valueRounded() const {
    return roundedInt(value_);
}

int TNumSpinEdit::valueInRange() const {
    return roundedInt(bounded(value_));
}

int TNumSpinEdit::roundedInt(double value) {
    const double r = std::nearbyint(value);
    if (!(r >= -2147483648.0))
        return std::numeric_limits<int>::min();
    if (r > 2147483647.0)
        return std::numeric_limits<int>::max();
    return static_cast<int>(r);
}

int TNumSpinEdit::valueUsed() {
    commitTyped();
    return valueRounded();
}

double TNumSpinEdit::bounded(double value) const {
    if (std::isnan(value))
        return minimum_;
    if (minimum_ == maximum_)
        return value;
    if (value < minimum_)
        return minimum_;
    if (value > maximum_)
        return maximum_;
    return value;
}

void TNumSpinEdit::setValue(double value) {
    double v = bounded(value);
    // The text holds no more digits than the decimals allow; the value is what the text says.
    const double scale = std::pow(10.0, decimals_);
    if (std::isfinite(v) && std::fabs(v * scale) < 1e15)
        v = std::nearbyint(v * scale) / scale;
    value_ = v;
    const QString text = format(v);
    if (editor_->text() != text)
        editor_->setText(text); // runs the change handler through textChanged
}

void TNumSpinEdit::setDecimals(int decimals) {
    decimals_ = std::clamp(decimals, 0, kMaxDecimals);
    const QLocale loc = QLocale::system();
    QString pattern = QStringLiteral("[-+]?\\d*");
    if (decimals_ > 0) {
        const QString sep = QRegularExpression::escape(loc.decimalPoint());
        pattern += QStringLiteral("(?:[.%1]\\d{0,%2})?").arg(sep).arg(decimals_);
    }
    editor_->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), editor_));
    const QString text = format(value_);
    if (editor_->text() != text)
        editor_->setText(text);
}

QString TNumSpinEdit::format(double value) const {
    if (!std::isfinite(value))
        return QStringLiteral("0");
    QLocale loc = QLocale::system();
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    if (value == 0)
        value = 0; // no "-0"
    return loc.toString(value, 'f', decimals_);
}

bool TNumSpinEdit::parse(const QString& text, double& out) const {
    QString t = text.trimmed();
    if (t.isEmpty() || t == QLatin1String("-") || t == QLatin1String("+"))
        return false;
    QLocale loc = QLocale::system();
    bool ok = false;
    double v = loc.toDouble(t, &ok);
    if (!ok) {
        t.replace(loc.decimalPoint(), QLatin1String("."));
        v = QLocale::c().toDouble(t, &ok);
    }
    if (!ok || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

void TNumSpinEdit::textEdited(const QString& text) {
    double v = 0;
    if (parse(text, v))
        value_ = v;
    if (onChange_) {
        const std::function<void()> handler = onChange_;
        handler();
    }
}

void TNumSpinEdit::step(int direction) {
    if (!isEnabled() || editor_->isReadOnly())
        return;
    double v = value_;
    double current = 0;
    if (parse(editor_->text(), current))
        v = current;
    setValue(v + direction * increment_);
}

void TNumSpinEdit::commitTyped() {
    // Unreadable text (empty, a lone sign) goes back to the last number it held.
    double v = value_;
    const bool typed = parse(editor_->text(), v);
    const bool outside = typed && bounded(v) != v;
    setValue(v);
    if (outside)
        tellBounded();
}

void TNumSpinEdit::tellBounded() {
    boundNote_ = QStringLiteral("значение ограничено: %1…%2").arg(format(minimum_), format(maximum_));
    QToolTip::showText(editor_->mapToGlobal(QPoint(0, editor_->height())), boundNote_, editor_, QRect(),
                       kNoteMs);
    if (flashing_)
        return;
    flashing_ = true;
    const QPalette normal = editor_->palette();
    QPalette flash = normal;
    flash.setColor(QPalette::Base, QColor(255, 200, 200));
    editor_->setPalette(flash);
    QTimer::singleShot(kFlashMs, this, [this, normal] {
        editor_->setPalette(normal);
        flashing_ = false;
    });
}

bool TNumSpinEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == editor_) {
        if (event->type() == QEvent::FocusOut) {
            commitTyped();
        } else if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
                step(key->key() == Qt::Key_Up ? +1 : -1);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TNumSpinEdit::resizeEvent(QResizeEvent*) {
    const int w = width(), h = height();
    const int bw = std::min(kButtonWidth, w / 2);
    editor_->setGeometry(0, 0, w - bw, h);
    up_->setGeometry(w - bw, 0, bw, h / 2);
    down_->setGeometry(w - bw, h / 2, bw, h - h / 2);
}

void TNumSpinEdit::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        up_->setEnabled(isEnabled());
        down_->setEnabled(isEnabled());
    }
    QWidget::changeEvent(event);
}

QSize TNumSpinEdit::sizeHint() const {
    return {60, 22};
}

QSize TNumSpinEdit::minimumSizeHint() const {
    return {30, 18};
}
