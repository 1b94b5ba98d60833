#pragma once
#include "engine/UiSeams.h"
#include "platform/Clock.h"

#include <QColor>
#include <QFont>
#include <QLocale>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <vector>

class QCheckBox;
class QFrame;
class QLabel;
class QScrollArea;
class RowPicture;
class RowShape;
class RowText;
class LoggerTable;

// The rows of the logger list inside ScrollBoxDevList: one set of controls per logger, at the
// absolute positions the column headings of the top bar are drawn for. The main window owns
// the scroll box, the column markers and the two arrows; this class owns the rows.
class LoggerListView : public IRowNotifications {
public:
    static constexpr int kRowPitch = 14;
    // Rows are grouped into blocks of this many so that no widget has thousands of siblings.
    static constexpr int kRowsPerBlock = 32;
    static constexpr std::array<int, 6> kBevelX = {249, 299, 349, 399, 449, 549};
    static constexpr int kPeriodColumn = 2;
    static constexpr int kMeasureCountColumn = 3;

    struct RowControls {
        RowShape* light = nullptr;
        QCheckBox* check = nullptr;
        RowPicture* antenna = nullptr;
        RowShape* bar = nullptr;
        RowShape* lamp = nullptr;
        RowPicture* battery = nullptr;
        std::array<RowText*, 6> values{}; // 0..4 status values, 5 the comment
        // Read without hovering, after the comments: battery, signal level, how far the clock is off.
        std::array<RowText*, 3> glance{};
    };
    // Left edges of the three glance values within their column, and the column's least offset
    // from the comments.
    static constexpr std::array<int, 3> kGlanceOffsets = {0, 50, 112};
    static constexpr int kGlanceWidth = 170;

    LoggerListView(QScrollArea* ScrollBoxDevList, QWidget* content, const std::array<QFrame*, 6>& bevels,
                   QLabel* ImageArrowDevPtr, QLabel* ImageArrowAttemptPtr,
                   std::function<void(const QString&)> setStatusPanel1,
                   IClock& clock = SystemClock::instance());
    ~LoggerListView() override;
    LoggerListView(const LoggerListView&) = delete;
    LoggerListView& operator=(const LoggerListView&) = delete;

    // IRowNotifications: Build rows, Remove rows, Clear row values.
    void buildRows(const LoggerTable& table) override;
    void removeRows() override;
    void clearRowValues() override;

    // Row operations of the engine; a row outside the list is ignored.
    // givenUp: records of the row's download given up as damaged, told in the light's hint.
    void showState(int row, int code, int givenUp = 0);
    void showLink(int row, double levelDbm, int barWidth);
    void showStatus(int row, const LoggerTable& table);
    void showClockText(int row, const QString& text);
    // What the clock task found, on the clock label and its column at a glance.
    void setClockHint(int row, const QString& hint);
    // A clock that forms no valid date or time: its raw bytes, in red, never compared.
    void showRawClock(int row, const QString& text);
    // What needs the engineer's eye before the next visit (battery, clock drift, link margin), as
    // the hint of the logger's name; none clears it.
    void setWarnings(int row, const QStringList& warnings);
    // One of the value labels 0..4, after the logger acknowledged a change it reports about itself.
    void setValueText(int row, int column, const QString& text);

    // Where the glance column starts in the list (it follows the longest comment); the window
    // puts its headings there. Told after every Build rows.
    void setGlanceMoved(std::function<void(int x)> moved) { glanceMoved_ = std::move(moved); }
    int glanceX() const { return glanceX_; }
    // "+5 мин", "−3 ч", "+2 сут": how far a logger's clock is ahead (+) or behind.
    static QString clockOffsetText(int64_t seconds);

    bool isTicked(int row) const;
    void setTicked(int row, bool ticked);
    int rowCount() const { return static_cast<int>(rows_.size()); }

    // The decimal separator of numbers in the rows comes from here (the system's by default).
    void setNumberLocale(const QLocale& locale) { locale_ = locale; }

    const RowControls& controls(int row) const { return rows_.at(static_cast<size_t>(row)); }
    QWidget* rowsHost() const { return host_.data(); }

    // The battery picture for a voltage: 0 outside 1.0..4.0 V (or not a number), else the
    // smallest k >= 1 with 2.9 + k/23 >= V, at most 19.
    static int batteryIndex(double volts);
    // "0" put in front until the text is at least 5 characters: 7 -> "00007", -5 -> "000-5".
    static QString serialText(int serial);

private:
    bool valid(int row) const { return row >= 0 && row < rowCount(); }
    void freeRows();
    void setExtent(int height);

    QScrollArea* scroll_;
    QWidget* content_;
    std::array<QFrame*, 6> bevels_;
    QLabel* devPtr_;
    QLabel* attemptPtr_;
    std::function<void(const QString&)> setPanel1_;
    IClock& clock_;
    QLocale locale_ = QLocale::system();
    QFont font_;
    // The content's width as the window laid it out; the rows' area is never narrower.
    int designWidth_;
    std::function<void(int)> glanceMoved_;
    int glanceX_ = 0;

    // All row controls live in one transparent host at (0,0) of the content widget (inside its
    // blocks), so freeing them is one deletion, not n removals from a long child list.
    QPointer<QWidget> host_;
    std::vector<RowControls> rows_;
};
