#pragma once
#include "orxparse/OrxData.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

// The depth–time picture of a thermistor string: sensor index down, time across, each reading as a
// colour, with the colour legend at the right. Readings are raw, as the file holds them.
class TDepthTimeView : public QWidget {
    Q_OBJECT
public:
    explicit TDepthTimeView(QWidget* parent = nullptr);

    // The logger must outlive the view's use of it; nullptr shows an empty field.
    void setLogger(const orx::Logger* logger);
    int32_t valueMin() const { return vMin_; }
    int32_t valueMax() const { return vMax_; }

    // The field alone, width × height pixels: column x shows the latest record at or before its time
    // (nothing before the first record), row y the sensor y × count / height.
    QImage renderField(int width, int height) const;
    QRgb colourOf(int32_t value) const;
    QRect fieldRect() const;
    int fullRenderCount() const { return renders_; }

    QSize sizeHint() const override { return {600, 320}; }
    QSize minimumSizeHint() const override { return {200, 120}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    const orx::Logger* logger_ = nullptr;
    std::vector<uint32_t> order_; // record indices by time, when the file's order is not by time
    int32_t vMin_ = 0, vMax_ = 1;
    double tMin_ = 0, tMax_ = 1;
    std::array<QRgb, 256> lut_{};
    QImage field_;
    mutable int renders_ = 0;
};
