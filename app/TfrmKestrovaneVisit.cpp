// The service visit in the main window: the report of what the tasks did, the health warnings in
// the rows, and the link log of the settings.
#include "app/TImageButton.h"
#include "app/TfrmKestrovane.h"
#include "files/IniFile.h"
#include "report/VisitPdf.h"
#include "ui/LoggerListView.h"
#include "widgets/TNumSpinEdit.h"
#include "widgets/TOnOffSwitch.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QScrollArea>
#include <QStringList>

void TfrmKestrovane::buildVisitMenu() {
    // The designed screen has no menu bar: the report is offered on a right click over the list
    // of loggers and over the save button, beside which it belongs.
    auto* action = new QAction(QStringLiteral("Отчёт о выезде…"), this);
    action->setObjectName("ActionVisitReport");
    connect(action, &QAction::triggered, this, [this] { ActionVisitReportClick(); });
    for (QWidget* w : {static_cast<QWidget*>(ScrollBoxDevList), static_cast<QWidget*>(ImageSaveORX)}) {
        w->addAction(action);
        w->setContextMenuPolicy(Qt::ActionsContextMenu);
    }
    // The clock task's check-only choice, on a right click over its switch and its allowance: the
    // designed column has no row left for it.
    ActionClockCheckOnly = new QAction(QStringLiteral("только проверить"), this);
    ActionClockCheckOnly->setObjectName("ActionClockCheckOnly");
    ActionClockCheckOnly->setCheckable(true);
    const QString allowanceHint = SpinClockAllowance->toolTip();
    const auto showMode = [this, allowanceHint](bool only) {
        SpinClockAllowance->setToolTip(
            allowanceHint + (only ? QStringLiteral("\nСейчас «время» только проверяет часы, ничего не "
                                                   "устанавливая (правая кнопка мыши на «время»)")
                                  : QStringLiteral("\nПравая кнопка мыши: только проверить")));
        SpinClockAllowance->setEnabled(!only);
    };
    connect(ActionClockCheckOnly, &QAction::toggled, this, showMode);
    showMode(false);
    for (QWidget* w : {static_cast<QWidget*>(SwitchTime), static_cast<QWidget*>(SpinClockAllowance)}) {
        w->addAction(ActionClockCheckOnly);
        w->setContextMenuPolicy(Qt::ActionsContextMenu);
    }
    askReportPath = [this] {
        const QString proposed =
            QDir(archiveFolder()).filePath(QFileInfo(proposedSaveName()).completeBaseName() + ".pdf");
        return QFileDialog::getSaveFileName(this, QStringLiteral("Отчёт о выезде"), proposed,
                                            QStringLiteral("Отчёт PDF (*.pdf);;Все файлы (*)"));
    };
    visit.noiseFloor = [this]() -> std::optional<double> {
        return analyzer_ ? analyzer_->noiseFloor() : std::nullopt;
    };
    visit.setLinkLog(&linkLog);
}

void TfrmKestrovane::openLinkLog(const IniFile& ini) {
    // A relative name lies in the program's data folder, beside the archive.
    const std::string logName = ini.readString("Settings", "Журнал связи", "");
    if (!logName.empty()) {
        const QString path =
            QDir(QString::fromStdString(Locations.dataDir)).filePath(QString::fromStdString(logName));
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!linkLog.open(path.toStdString()))
            setStatusPanel1("Не удаётся записать журнал связи " + path.toStdString());
    }
}

void TfrmKestrovane::visitEvent(const EngineEvent& e) {
    if (e.kind == EngineEvent::TaskStarted)
        visitTaskStarted(e.task);
    visit.follow(e, table);
    if (e.kind == EngineEvent::LinkLevel && table.validIndex(e.row))
        showVisitWarnings(e.row);
}

void TfrmKestrovane::visitTaskStarted(TTaskKind kind) {
    // A visit is the work on one group: a group opened anew starts another.
    const VisitReport so = visit.report();
    if (!visit.hasRows() || so.group != table.ConfigFileName || so.loggers.size() != table.loggers.size())
        visit.startGroup(table, table.ConfigFileName, modemChannel());
    if (so.modem != StatusPanel0->text().toStdString())
        visit.setModem(StatusPanel0->text().toStdString());
    visit.taskStarted(kind, kind == TTaskKind::SetChannel  ? loggerChannel()
                            : kind == TTaskKind::SetPeriod ? loggerPeriod()
                                                           : modemChannel());
}

void TfrmKestrovane::showVisitWarnings(int row) {
    QStringList lines;
    for (const std::string& w : visit.warnings(row))
        lines << QString::fromStdString(w);
    list_->setWarnings(row, lines);
}

void TfrmKestrovane::ActionVisitReportClick() {
    if (!visit.hasRows()) {
        messages_.errorText(QStringLiteral("Отчёт о выезде пуст: ни одна задача ещё не выполнялась"));
        return;
    }
    QString path = askReportPath ? askReportPath() : QString();
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += ".pdf";
    std::string error;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = visitreport::writeReport(visit.report(), path.toStdString(), error);
    QGuiApplication::restoreOverrideCursor();
    if (!ok) {
        messages_.error(error);
        return;
    }
    setStatusPanel1("Отчёт о выезде записан: " + path.toStdString());
}
