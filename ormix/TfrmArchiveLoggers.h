#pragma once
#include "archive/RecordArchive.h"

#include <QDialog>

#include <string>
#include <vector>

class QTableWidget;

// The loggers an archive holds, with their record counts and time spans: the user picks the one
// whose history the viewer loads.
class TfrmArchiveLoggers : public QDialog {
    Q_OBJECT
public:
    enum Column { ColLogger, ColRecords, ColFirst, ColLast, ColConflicts, ColumnCount };

    TfrmArchiveLoggers(const QString& archivePath, std::vector<ArchivedLogger> loggers,
                       QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }
    // The chosen row; nullptr when none is.
    const ArchivedLogger* chosenLogger() const;

private:
    std::vector<ArchivedLogger> loggers_;
    QTableWidget* table_ = nullptr;
};
