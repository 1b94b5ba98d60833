#pragma once
#include "archive/ArchiveReader.h"

#include <QDialog>

#include <string>
#include <vector>

class QDialogButtonBox;
class QPushButton;
class QTableWidget;

// The loggers an archive holds, with their record counts and time spans: the user picks the one
// whose history the viewer loads.
class TfrmArchiveLoggers : public QDialog {
    Q_OBJECT
public:
    enum Column { ColLogger, ColComment, ColRecords, ColFirst, ColLast, ColConflicts, ColumnCount };

    // title names the archive in the caption ("Архив — archive.sqlite"); location is its path or
    // the database's address.
    TfrmArchiveLoggers(const QString& title, const QString& location, std::vector<ArchivedLogger> loggers,
                       QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }
    // With the archive given, "Состояние…" shows the chosen logger's health over its visits.
    void setArchive(IArchiveReader* archive);
    QPushButton* healthButton() const { return health_; }
    // The chosen row; nullptr when none is.
    const ArchivedLogger* chosenLogger() const;

private:
    std::vector<ArchivedLogger> loggers_;
    QTableWidget* table_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    QPushButton* health_ = nullptr; // once an archive is given
    IArchiveReader* archive_ = nullptr;
};
