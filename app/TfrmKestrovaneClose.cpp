// Closing the main window: downloaded records that were not saved are never dropped silently.
#include "app/TfrmKestrovane.h"

#include "files/FileIo.h"
#include "files/OrxWriter.h"
#include "platform/DateTime.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

namespace {
const char* const kUnsavedQuestion = "Загруженные данные не сохранены. Сохранить их перед выходом?";

// "group7" of ".../group7.cfg": the group the records belong to.
QString groupName(const std::string& configPath) {
    std::string name = fileio::fileNameOf(configPath);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return name.empty() ? QStringLiteral("Kestrovane") : QString::fromStdString(name);
}

// "2026-05-12 14-30": sorts by time and is a valid file name everywhere.
QString stampOf(TDateTime now) {
    const DateTimeParts t = dt::decode(now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d-%02d", t.year, t.month, t.day, t.hour, t.minute);
    return QString::fromLatin1(stamp);
}
} // namespace

QString TfrmKestrovane::proposedSaveName() const {
    return groupName(table.ConfigFileName) + " " + stampOf(clock_.now()) + ".orx";
}

bool TfrmKestrovane::hasUnsavedRecords() const {
    // A download that goes on after a pull holds the earlier records aside meanwhile.
    return table.hasUnsavedRecords() || (resuming_ && heldUnsaved_);
}

void TfrmKestrovane::closeEvent(QCloseEvent* event) {
    // A close that arrives while an earlier one asks its question is left to that one.
    if (!closed_ && (closing_ || !mayClose())) {
        event->ignore();
        return;
    }
    if (!closed_) {
        closed_ = true;
        FormClose();
        emit closedForGood();
    }
    event->accept();
}

bool TfrmKestrovane::mayClose() {
    if (!hasUnsavedRecords())
        return true;
    bool close = true;
    if (!messages_.unattended()) {
        closing_ = true;
        const QtMessages::Answer answer = messages_.questionYesNoCancel(kUnsavedQuestion);
        // Told to stop while the question was open, the answer is no one's.
        if (!messages_.unattended()) {
            if (answer == QtMessages::Answer::Yes) {
                // A running task holds the table: it ends first, then the records are saved.
                if (taskRunning())
                    switchTasksOff();
                close = saveMeasurements();
            } else
                close = answer == QtMessages::Answer::No;
        }
        closing_ = false;
    }
    // Told to stop while the question or the save dialog was open: no one will answer now.
    if (messages_.unattended()) {
        if (hasUnsavedRecords())
            saveUnsavedToArchive();
        return true;
    }
    return close;
}

void TfrmKestrovane::closeForSignal() {
    messages_.setUnattended(true);
    if (QWidget* modal = QApplication::activeModalWidget()) {
        // A box or dialog open now runs its own loop: it goes first, and the close follows once
        // that loop has unwound.
        modal->close();
        QTimer::singleShot(0, this, [this] { close(); });
        return;
    }
    close();
}

void TfrmKestrovane::saveUnsavedToArchive() {
    // The records held aside by a resumed download come back when it stops.
    if (resuming_)
        switchTasksOff();
    const TDateTime now = clock_.now();
    const QString base =
        archiveFolder() + "/" + groupName(table.ConfigFileName) + " " + stampOf(now) + " несохранено";
    // An earlier stop in the same minute keeps its file.
    QString target = base + ".orx";
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = base + QString(" (%1).orx").arg(n);
    const std::string path = target.toStdString();
    const orx::WriteResult result = WriteFile(path, table, tickedLoggers(), now, halfFetched());
    if (result != orx::WriteResult::Ok) {
        messages_.error(orxFailureMessage(result, path));
        return;
    }
    table.savedArrivals = table.recordsArrived;
    messages_.infoText("Несохраненные данные записаны в " + target);
}
