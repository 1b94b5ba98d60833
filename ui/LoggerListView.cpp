#include "ui/LoggerListView.h"

#include "engine/LoggerTable.h"
#include "engine/StatusDecoder.h"
#include "ui/Cp1251Text.h"
#include "ui/GeneralNumber.h"
#include "ui/Pictures.h"
#include "ui/RowControls.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {
constexpr int kValueLabelCount = 5;
constexpr int64_t kClockToleranceSeconds = 3600;
const QColor kRed(255, 0, 0);

// The list does not scroll sideways: in a window wider than the design the rows' area widens
// with the visible list, so that more of a long comment can be read.
class WidthFollower final : public QObject {
public:
    WidthFollower(QWidget* viewport, QWidget* content, int designWidth)
        : QObject(viewport), content_(content), designWidth_(designWidth) {
        viewport->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && content_) {
            const int width = std::max(designWidth_, static_cast<QWidget*>(watched)->width());
            if (content_->width() != width)
                content_->resize(width, content_->height());
        }
        return false;
    }

private:
    QPointer<QWidget> content_;
    int designWidth_;
};
} // namespace

LoggerListView::LoggerListView(QScrollArea* ScrollBoxDevList, QWidget* content,
                               const std::array<QFrame*, 6>& bevels, QLabel* ImageArrowDevPtr,
                               QLabel* ImageArrowAttemptPtr,
                               std::function<void(const QString&)> setStatusPanel1, IClock& clock)
    : scroll_(ScrollBoxDevList), content_(content), bevels_(bevels), devPtr_(ImageArrowDevPtr),
      attemptPtr_(ImageArrowAttemptPtr), setPanel1_(std::move(setStatusPanel1)), clock_(clock),
      designWidth_(content->width()) {
    // Small enough that a row's texts stay inside the 14 px pitch.
    font_ = content_->font();
    font_.setPixelSize(10);
    if (scroll_ != nullptr)
        new WidthFollower(scroll_->viewport(), content_, designWidth_);
}

LoggerListView::~LoggerListView() {
    // The host may already be gone with the window's widgets; QPointer knows.
    freeRows();
}

void LoggerListView::freeRows() {
    rows_.clear();
    delete host_.data();
    host_ = nullptr;
}

void LoggerListView::setExtent(int height) {
    for (size_t i = 0; i < bevels_.size(); ++i)
        if (bevels_[i] != nullptr)
            bevels_[i]->setGeometry(kBevelX[i], bevels_[i]->y(), 3, height);
    content_->setMinimumHeight(height);
    const int width =
        scroll_ != nullptr ? std::max(designWidth_, scroll_->viewport()->width()) : content_->width();
    content_->resize(width, height);
    if (scroll_ != nullptr) {
        scroll_->verticalScrollBar()->setValue(0);
        scroll_->viewport()->update();
    }
}

void LoggerListView::buildRows(const LoggerTable& table) {
    freeRows();
    const int n = std::clamp(table.LoggerCount, 0, static_cast<int>(table.loggers.size()));
    const int height = n > 0 ? kRowPitch * n + 4 : 0;

    host_ = new QWidget(content_);
    host_->setFont(font_);
    rows_.resize(static_cast<size_t>(n));
    std::vector<QWidget*> blocks;
    const QString lightHint = QStringLiteral("Логгер ещё не опрашивался");
    const QString lampHint = QString::fromUtf8(LoggerErrorText(0));
    const QImage* antenna = &antennaImage();
    int right = kBevelX[5];
    QWidget* block = nullptr;
    int blockTop = 0;
    for (int i = 0; i < n; ++i) {
        const LoggerTable::Logger& logger = table.loggers[static_cast<size_t>(i)];
        RowControls& r = rows_[static_cast<size_t>(i)];
        if (i % kRowsPerBlock == 0) {
            // Every control of row i lies within y0 + 5 ... y0 + 18, so blocks that start 5 px
            // into a row hold whole rows and never overlap (a click always finds its row).
            blockTop = kRowPitch * i + 5;
            block = new QWidget(host_);
            block->move(0, blockTop);
            blocks.push_back(block);
        }
        const int y0 = kRowPitch * i - blockTop; // in the block; the content's y0 is 14 i

        r.light = new RowShape(RowShape::RoundRect, QColor(0, 0, 0), block);
        r.light->setGeometry(13, y0 + 6, 11, 11);
        r.light->setToolTip(lightHint);

        r.check = new QCheckBox(textFromCp1251(logger.LoggerName), block);
        r.check->setGeometry(27, y0 + 5, 95, 14);
        r.check->setChecked(true);
        // The style turns hover tracking on when it polishes a button, and then every check
        // box repaints after the show. Polish now and do without the hover highlight.
        r.check->ensurePolished();
        r.check->setAttribute(Qt::WA_Hover, false);

        r.antenna = new RowPicture(block);
        r.antenna->setGeometry(124, y0 + 5, 76, 12);
        r.antenna->setPicture(antenna, 0);
        r.antenna->setVisible(false);

        // Created after the antenna so that it lies on top of the scale.
        r.bar = new RowShape(RowShape::Rect, QColor(255, 255, 255), block);
        r.bar->setGeometry(139, y0 + 7, 10, 5);
        r.bar->setVisible(false);

        r.lamp = new RowShape(RowShape::Circle, kRed, block);
        r.lamp->setGeometry(236, y0 + 7, 9, 9);
        r.lamp->setToolTip(lampHint);
        r.lamp->setVisible(false);

        r.battery = new RowPicture(block);
        r.battery->setGeometry(207, y0 + 6, 24, 12);

        for (int v = 0; v < 6; ++v) {
            r.values[v] = new RowText(block);
            r.values[v]->move(kBevelX[v] + 5, y0 + 5);
        }
        r.values[5]->setText(textFromCp1251(logger.LoggerComment));
        // The list scrolls vertically only, so a long comment runs out of sight: its hint shows it whole.
        r.values[5]->setToolTip(r.values[5]->text());
        right = std::max(right, r.values[5]->x() + r.values[5]->width());
        for (size_t g = 0; g < r.glance.size(); ++g)
            r.glance[g] = new RowText(block);
    }
    // The column follows the longest comment, so that every comment reads whole before it.
    glanceX_ = std::max(right + 16, kBevelX[5] + 5 + 150);
    for (RowControls& r : rows_)
        for (size_t g = 0; g < r.glance.size(); ++g)
            r.glance[g]->move(glanceX_ + kGlanceOffsets[g], r.values[5]->y());
    right = glanceX_ + kGlanceWidth;
    const int width = std::max(right, content_->width());
    host_->setGeometry(0, 0, width, height);
    for (QWidget* b : blocks)
        b->resize(width, kRowPitch * kRowsPerBlock);
    // The content must have its full height before the rows appear: shown into a 0-high
    // parent, every control is queued for a repaint, and Qt's bookkeeping for that queue is
    // quadratic in the number of siblings (which the blocks keep small as well).
    setExtent(height);
    host_->show();
    // Under the markers and the arrows, which the main window placed before any row existed.
    host_->lower();
    if (glanceMoved_)
        glanceMoved_(n > 0 ? glanceX_ : -1);
}

void LoggerListView::removeRows() {
    freeRows();
    if (devPtr_ != nullptr)
        devPtr_->hide();
    if (attemptPtr_ != nullptr)
        attemptPtr_->hide();
    setExtent(0);
    if (setPanel1_)
        setPanel1_(QString());
    if (glanceMoved_)
        glanceMoved_(-1);
}

void LoggerListView::clearRowValues() {
    for (RowControls& r : rows_) {
        r.lamp->setVisible(false);
        r.battery->setPicture(nullptr, -1);
        for (int v = 0; v < kValueLabelCount; ++v) {
            r.values[v]->setText(QString());
            r.values[v]->setTextColour(QColor());
        }
        // The level stays with the signal bar; the battery and the clock go with the status.
        r.glance[0]->setText(QString());
        r.glance[2]->setText(QString());
    }
}

void LoggerListView::showState(int row, int code, int givenUp) {
    if (!valid(row))
        return;
    RowControls& r = rows_[static_cast<size_t>(row)];
    const StateLook& look = stateLook(code);
    r.light->setBrushColour(QColor(look.r, look.g, look.b));
    QString hint = QString::fromUtf8(look.hint);
    if (givenUp > 0)
        hint += QStringLiteral("\nНе загружено записей: %1").arg(givenUp);
    r.light->setToolTip(hint);
    if (code == NotPolled) {
        r.antenna->setVisible(false);
        r.bar->setVisible(false);
        r.glance[1]->setText(QString());
    } else if (code == NotFound) {
        r.antenna->setVisible(true);
        r.antenna->setToolTip(QStringLiteral("Нет сигнала"));
    }
}

void LoggerListView::showLink(int row, double levelDbm, int barWidth) {
    if (!valid(row))
        return;
    RowControls& r = rows_[static_cast<size_t>(row)];
    const QString hint = formatGeneral(levelDbm, locale_) + QStringLiteral("dBm");
    r.antenna->setToolTip(hint);
    r.bar->setToolTip(hint);
    // A level below the scale must not give a negative width.
    r.bar->resize(std::max(0, barWidth), r.bar->height());
    r.bar->setVisible(true);
    r.glance[1]->setText(formatGeneral(levelDbm, locale_) + QStringLiteral(" дБм"));
}

int LoggerListView::batteryIndex(double volts) {
    if (!(volts >= 1.0 && volts <= 4.0))
        return 0;
    for (int k = 1; k < kBatteryPictureCount - 1; ++k)
        if (2.9 + k / 23.0 >= volts)
            return k;
    return kBatteryPictureCount - 1;
}

QString LoggerListView::serialText(int serial) {
    QString s = QString::number(serial);
    if (s.size() < 5)
        s.prepend(QString(5 - s.size(), QLatin1Char('0')));
    return s;
}

void LoggerListView::showStatus(int row, const LoggerTable& table) {
    if (!valid(row) || row >= static_cast<int>(table.loggers.size()))
        return;
    RowControls& r = rows_[static_cast<size_t>(row)];

    const double volts = table.StatusBattery;
    const int k = batteryIndex(volts);
    r.battery->setPicture(&batteryImage(k), k);
    r.battery->setToolTip(k == 0 ? QStringLiteral("неизвестно")
                                 : formatGeneral(volts, locale_) + QStringLiteral(" V"));
    r.glance[0]->setText(k == 0 ? QStringLiteral("—") : formatGeneral(volts, locale_) + QStringLiteral(" В"));

    if (table.StatusError > 0) {
        r.lamp->setToolTip(QString::fromUtf8(LoggerErrorText(table.StatusError)));
        r.lamp->setVisible(true);
    }

    r.values[0]->setText(serialText(table.loggers[static_cast<size_t>(row)].StringSerial));
    r.values[1]->setText(QString::number(table.StatusSensorCount));
    r.values[2]->setText(QString::number(table.StatusPeriod));
    r.values[3]->setText(QString::number(table.StatusMeasureCount));

    RowText* clockLabel = r.values[4];
    RowText* offset = r.glance[2];
    if (!std::isfinite(table.StatusClock)) {
        clockLabel->setText(QStringLiteral("??.??.?? ??:??:??"));
        clockLabel->setTextColour(kRed);
        offset->setText(QStringLiteral("??"));
        offset->setTextColour(kRed);
        return;
    }
    clockLabel->setText(QString::fromStdString(dt::formatDateTime(table.StatusClock)));
    const int64_t diff = dt::toSeconds(table.StatusClock) - dt::toSeconds(clock_.now());
    const QColor colour = std::llabs(diff) > kClockToleranceSeconds ? kRed : QColor();
    clockLabel->setTextColour(colour);
    offset->setText(clockOffsetText(diff));
    offset->setTextColour(colour);
}

void LoggerListView::setWarnings(int row, const QStringList& warnings) {
    if (!valid(row))
        return;
    QCheckBox* check = rows_[static_cast<size_t>(row)].check;
    check->setToolTip(warnings.isEmpty() ? QString() : QStringLiteral("Внимание: ") + warnings.join("; "));
}

QString LoggerListView::clockOffsetText(int64_t seconds) {
    const int64_t a = std::llabs(seconds);
    const QString sign = seconds > 0 ? QStringLiteral("+") : seconds < 0 ? QStringLiteral("−") : QString();
    // The nearest whole unit, as the user reads a watch; under half a minute the clock is right.
    if (a < 30)
        return QStringLiteral("0 мин");
    if (a < 3570)
        return sign + QString::number((a + 30) / 60) + QStringLiteral(" мин");
    if (a < 2 * 86400)
        return sign + QString::number((a + 1800) / 3600) + QStringLiteral(" ч");
    return sign + QString::number((a + 43200) / 86400) + QStringLiteral(" сут");
}

void LoggerListView::showClockText(int row, const QString& text) {
    if (!valid(row))
        return;
    RowText* clockLabel = rows_[static_cast<size_t>(row)].values[4];
    clockLabel->setText(text);
    clockLabel->setTextColour(QColor());
    // Just set from the computer's clock.
    rows_[static_cast<size_t>(row)].glance[2]->setText(QStringLiteral("0 мин"));
    rows_[static_cast<size_t>(row)].glance[2]->setTextColour(QColor());
}

void LoggerListView::setClockHint(int row, const QString& hint) {
    if (!valid(row))
        return;
    rows_[static_cast<size_t>(row)].values[4]->setToolTip(hint);
    rows_[static_cast<size_t>(row)].glance[2]->setToolTip(hint);
}

void LoggerListView::showRawClock(int row, const QString& text) {
    if (!valid(row))
        return;
    RowText* clockLabel = rows_[static_cast<size_t>(row)].values[4];
    clockLabel->setText(text);
    clockLabel->setTextColour(kRed);
    rows_[static_cast<size_t>(row)].glance[2]->setText(QStringLiteral("??"));
    rows_[static_cast<size_t>(row)].glance[2]->setTextColour(kRed);
}

void LoggerListView::setValueText(int row, int column, const QString& text) {
    if (valid(row) && column >= 0 && column < kValueLabelCount)
        rows_[static_cast<size_t>(row)].values[static_cast<size_t>(column)]->setText(text);
}

bool LoggerListView::isTicked(int row) const {
    return valid(row) && rows_[static_cast<size_t>(row)].check->isChecked();
}

void LoggerListView::setTicked(int row, bool ticked) {
    if (valid(row))
        rows_[static_cast<size_t>(row)].check->setChecked(ticked);
}
