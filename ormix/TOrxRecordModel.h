#pragma once
#include "orxparse/OrxData.h"

#include <QAbstractTableModel>

// The records of one logger for a table view: line number, time, voltage value, then one column per
// sensor. Rows whose signature fails are red; a history's records in conflict with earlier ones are
// amber. The model reads the parsed data in place.
class TOrxRecordModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColLine = 0, ColTime = 1, ColVoltage = 2, FirstSensorColumn = 3 };

    explicit TOrxRecordModel(QObject* parent = nullptr);

    // The logger must outlive the model's use of it; nullptr empties the table.
    void setLogger(const orx::Logger* logger);
    const orx::Logger* logger() const { return logger_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static QColor badRowBackground();
    static QColor conflictRowBackground();

private:
    const orx::Logger* logger_ = nullptr;
};
