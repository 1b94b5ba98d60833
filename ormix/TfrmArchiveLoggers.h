#pragma once
#include "archive/ArchiveReader.h"

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

    // title names the archive in the caption ("Архив — archive.sqlite"); location is its path or
    // the database's address.
    TfrmArchiveLoggers(const QString& title, const QString& location, std::vector<ArchivedLogger> loggers,
                       QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }
    // The chosen row; nullptr when none is.
    const ArchivedLogger* chosenLogger() const;

private:
    std::vector<ArchivedLogger> loggers_;
    QTableWidget* table_ = nullptr;
};
