// Saving the downloaded measurements: the dialog, the program's own overwrite question and the file.
#include "app/TfrmKestrovane.h"
#include "files/OrxWriter.h"
#include "ui/LoggerListView.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <algorithm>

void TfrmKestrovane::ImageSaveORXClick() {
    saveMeasurements();
}

bool TfrmKestrovane::saveMeasurements() {
    if (taskRunning())
        return false;
    if (table.LoadedRecordCount == 0) {
        messages_.errorText("Нет данных для сохранения ");
        return false;
    }
    // The group and the moment: a day's saves stand apart, and the overwrite question guards the rest.
    SaveDialogORX->selectFile(proposedSaveName());
    if (SaveDialogORX->exec() != QDialog::Accepted || SaveDialogORX->selectedFiles().isEmpty())
        return false;
    const std::string target = orxTargetName(SaveDialogORX->selectedFiles().first().toStdString());
    const QString targetText = QString::fromStdString(target);
    if (QFileInfo::exists(targetText) &&
        !messages_.questionText("Файл " + targetText + " уже существует.\r\nЗаменить?"))
        return false;

    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const orx::WriteResult result = WriteFile(target, table, tickedLoggers(), clock_.now());
    QGuiApplication::restoreOverrideCursor();
    if (result != orx::WriteResult::Ok) {
        messages_.error(orxFailureMessage(result, target));
        return false;
    }
    table.savedArrivals = table.recordsArrived;
    visit.saved(target, table, tickedLoggers());
    if (CheckBoxRunOrmix->isChecked()) {
        if (QFileInfo::exists(targetText))
            openDocument(targetText);
        else
            messages_.errorText("Не удалось открыть файл " + targetText);
    }
    return true;
}

std::vector<bool> TfrmKestrovane::halfFetched() const {
    std::vector<bool> partial(table.loggers.size());
    const bool kept = downloadStates_.size() == table.loggers.size();
    for (size_t i = 0; i < partial.size(); ++i)
        partial[i] = (kept ? downloadStates_[i] : table.loggers[i].LoggerState) < TaskDone;
    return partial;
}

std::vector<bool> TfrmKestrovane::tickedLoggers() const {
    std::vector<bool> ticked(static_cast<size_t>(std::max(table.LoggerCount, 0)));
    for (size_t i = 0; i < ticked.size(); ++i)
        ticked[i] = list_->isTicked(static_cast<int>(i));
    return ticked;
}
