#pragma once
#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

class QLineF;

// An XY plot with a time axis at the bottom (TDateTime days) and a value axis on both sides,
// drawn through an off-screen image. Appending a point draws only the new segment and markers
// into the image; everything else (resize, zoom, pan, range change) redraws the whole image,
// decimated per pixel column so that it costs O(points + width) whatever the point count.
//
// Mouse: Shift + left drag zooms the time axis to the band; a Shift-click without movement
// restores the ranges from before the first zoom or pan; a plain left drag pans the time axis.
class TXYPlot : public QWidget {
    Q_OBJECT
public:
    explicit TXYPlot(QWidget* parent = nullptr);

    int addSeries(const QColor& line, const QColor& markerFill, const QColor& markerBorder);
    int seriesCount() const { return static_cast<int>(series_.size()); }
    // Points with a non-finite time or value are not kept.
    void appendPoint(int series, double t, double v);
    void clearSeries(int series);
    int pointCount(int series) const;
    double pointTime(int series, int index) const;
    double pointValue(int series, int index) const;

    double timeMin() const { return tMin_; }
    double timeMax() const { return tMax_; }
    // Sets both ends at once and forgets the range saved by a zoom or pan. A range that is not
    // finite or not increasing is refused (false).
    bool setTimeRange(double min, double max);
    double valueMin() const { return vMin_; }
    double valueMax() const { return vMax_; }
    bool setValueRange(double min, double max);
    // Point markers only where a series' visible points lie at least px pixels apart on
    // average; a denser series shows its line alone (0, the default: markers always).
    void setMarkerSpacing(int px);
    void setValueCaption(const QString& caption);
    QString valueCaption() const { return caption_; }
    void setTimeTicks(int count);
    void setValueTicks(int count);
    bool hasSavedRange() const { return saved_; }

    // The white plotting field in widget coordinates.
    QRect plotRect() const;
    double xOfTime(double t) const;
    double yOfValue(double v) const;
    double timeAtX(double x) const;

    // Axis label texts: "hh:mm:ss" and "###0.#" in the system's locale.
    static QString timeLabel(double t);
    // "dd.MM.yy hh:mm" on the time axis instead, for spans of days.
    void setDateTimeLabels(bool on);
    QString timeAxisLabel(double t) const;
    static QString valueLabel(double v);

    // How many times the whole image was drawn; appends must not add to it.
    int fullRenderCount() const { return fullRenders_; }

    QSize sizeHint() const override { return {400, 250}; }
    QSize minimumSizeHint() const override { return {120, 80}; }

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    struct Series {
        QColor line, fill, border;
        QImage marker;
        // The marker's opaque pixels as row runs (offsets from its centre) for copying straight
        // into the image; empty when a colour is translucent and the painter must blend.
        struct Run {
            int dx, dy, count, first; // first: index into runPixels
        };
        std::vector<Run> runs;
        std::vector<uint32_t> runPixels;
        std::vector<double> t, v;
        bool markersShown = true; // as decided by the last full render
        size_t visibleCount = 0;  // points inside the field then, and appended inside it since
    };
    enum class Drag { None, Zoom, Pan };

    void invalidate();
    void computeLayout();
    void renderAll();
    void drawFrame(QPainter& p);
    void drawSeries(QPainter& p, Series& s);
    void drawAxes(QPainter& p);
    // Clips a segment to the field in floating point (huge coordinates never reach the painter).
    bool clipToField(double& x0, double& y0, double& x1, double& y1) const;
    // Whether a series with this many points inside the field keeps its markers at the spacing.
    bool roomForMarkers(size_t visible) const;
    // Draws the marker centred on the pixel that holds (x, y); returns its rectangle.
    QRect drawMarker(QPainter& p, const Series& s, double x, double y) const;
    static QImage makeMarker(const QColor& fill, const QColor& border);
    void saveRangesOnce();
    QRect bandRect() const;

    std::vector<Series> series_;
    double tMin_ = 0, tMax_ = 1;
    double vMin_ = 0, vMax_ = 1;
    int markerSpacing_ = 0;
    bool dateLabels_ = false;
    int timeTicks_ = 7;
    int valueTicks_ = 11;
    QString caption_;

    bool saved_ = false;
    double savedTMin_ = 0, savedTMax_ = 1, savedVMin_ = 0, savedVMax_ = 1;

    QImage buffer_;
    bool dirty_ = true;
    int fullRenders_ = 0;
    QRect field_;
    int labelHeight_ = 13;
    std::vector<uint64_t> stamps_; // marker de-duplication, one bit per pixel, during a full render

    Drag drag_ = Drag::None;
    QPoint pressPos_;
    QPoint currentPos_;
    bool moved_ = false;
    double pressTMin_ = 0, pressTMax_ = 0;
};
