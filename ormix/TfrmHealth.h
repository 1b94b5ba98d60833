#pragma once
#include "archive/StatusRead.h"

#include <QDialog>

#include <vector>

class QLabel;
class TXYPlot;

// One logger's health over its visits: battery, signal level (with the noise floor where the
// analyzer measured it) and clock drift against time, with the warnings of its latest status.
class TfrmHealth : public QDialog {
    Q_OBJECT
public:
    TfrmHealth(const QString& loggerName, const std::vector<StatusRead>& readings, QWidget* parent = nullptr);

    TXYPlot* battery() const { return battery_; }
    TXYPlot* level() const { return level_; }
    TXYPlot* drift() const { return drift_; }
    QLabel* warnings() const { return warnings_; }

private:
    TXYPlot* battery_ = nullptr;
    TXYPlot* level_ = nullptr;
    TXYPlot* drift_ = nullptr;
    QLabel* warnings_ = nullptr;
};
