// The engine's events on the widgets, and the window's timers on the driver's. The pointers'
// pixels, the progress bar and the analyzer's line live here, not in the engine.
#include "app/TImageButton.h"
#include "app/TaskTexts.h"
#include "app/TfrmKestrovane.h"
#include "ui/Cp1251Text.h"
#include "ui/LoggerListView.h"
#include "widgets/TNumSpinEdit.h"
#include "widgets/TOnOffSwitch.h"

#include <QLabel>
#include <QProgressBar>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>

namespace {

// The attempt pointer stands over its column of the strategy, the logger pointer beside its row.
int attemptPointerLeft(int attempt) {
    return 72 + 23 * attempt;
}
int devicePointerTop(int row) {
    return row * 14 + 4;
}

QString phaseText(EngineEvent::Phase phase) {
    switch (phase) {
    case EngineEvent::Phase::Search:
        return QStringLiteral("Поиск...");
    case EngineEvent::Phase::Load:
        return QStringLiteral("Загрузка...");
    case EngineEvent::Phase::None:
        break;
    }
    return {};
}

} // namespace

void TfrmKestrovane::onEngineEvent(EngineEvent& e) {
    visitEvent(e);
    if (const std::string text = panelText(e); !text.empty())
        setStatusPanel1(text);
    switch (e.kind) {
    case EngineEvent::TaskStarted:
        clockFindings_.clear();
        // The task owns the modem now: the analyzer stops reading and the channel stays as it is.
        if (analyzer_)
            analyzer_->stopReading();
        // The values the task goes on the air with are shown as it takes them; the task runs, so
        // the channel's change handler sends nothing of its own.
        SpinModChannel->valueUsed();
        if (e.task == TTaskKind::SetPeriod)
            SpinLogPeriod->valueUsed();
        else if (e.task == TTaskKind::SetChannel)
            SpinLogChannel->valueUsed();
        ImageArrowDevPtr->show();
        ImageArrowAttemptPtr->show();
        ProgrBarExecution->show();
        SpinModChannel->setEnabled(false);
        break;
    case EngineEvent::TaskFinished:
        ProgrBarExecution->hide();
        SpinModChannel->setEnabled(true);
        break;
    case EngineEvent::RunThrough:
        switchTasksOff();
        break;
    case EngineEvent::AttemptStarted:
        ImageArrowAttemptPtr->move(attemptPointerLeft(e.attempt), ImageArrowAttemptPtr->y());
        break;
    case EngineEvent::LoggerServed:
        // The list is the user's to scroll; the arrow may stand out of sight.
        ImageArrowDevPtr->move(ImageArrowDevPtr->x(), devicePointerTop(e.row));
        break;
    case EngineEvent::LoggerState:
        rowShowState(e.row, e.state);
        break;
    case EngineEvent::LinkLevel:
        if (table.validIndex(e.row))
            list_->showLink(e.row, e.level, e.barWidth);
        if (analyzerShowing())
            analyzer_->addRssiPoint(e.time, e.level);
        break;
    case EngineEvent::StatusDecoded:
        list_->showStatus(e.row, table);
        // A status clock that forms no date shows its raw bytes in red, compared with nothing.
        if (!e.clockValid)
            list_->showRawClock(e.row, QString::fromStdString(e.text));
        break;
    case EngineEvent::ClockConfirmed:
        list_->showClockText(e.row, QString::fromStdString(e.text));
        clockFound(e);
        break;
    case EngineEvent::ClockChecked:
        clockFound(e);
        break;
    case EngineEvent::Progress:
        ProgrBarExecution->setMaximum(e.maximum);
        ProgrBarExecution->setValue(e.position);
        LabelExecution->setText(phaseText(e.phase));
        break;
    case EngineEvent::Notice:
        if (e.notice == EngineEvent::Sound::Completed)
            playCompleted();
        else if (e.notice == EngineEvent::Sound::Missed)
            playMissed();
        else if (SoundMode > 0)
            TimerFinishedSound->start();
        break;
    case EngineEvent::ListeningResumed:
        analyzerStart();
        break;
    case EngineEvent::Question:
        e.answer = messages_.question(e.row >= 0 ? eraseLossQuestion(e.row, e.records)
                                                 : startQuestion(e.task, e.text));
        break;
    case EngineEvent::Error:
        messages_.error(e.text);
        break;
    case EngineEvent::Counts:
        break;
    }
}

void TfrmKestrovane::clockFound(const EngineEvent& e) {
    auto f = std::find_if(clockFindings_.begin(), clockFindings_.end(),
                          [&](const tasktext::ClockFinding& c) { return c.row == e.row; });
    if (f == clockFindings_.end()) {
        clockFindings_.push_back({e.row});
        f = clockFindings_.end() - 1;
    }
    if (e.kind == EngineEvent::ClockChecked) {
        f->valid = e.clockValid;
        f->seconds = e.seconds;
        f->leftAlone = e.completed;
    } else {
        f->set = true;
    }
    list_->setClockHint(e.row, tasktext::clockHint(*f, clockCheckOnly()));
}

void TfrmKestrovane::onTimerChange(TaskDriver::Change change) {
    switch (change) {
    case TaskDriver::Change::ReceptionOn:
        TimerReadStream->start();
        armArrivalReads(true);
        break;
    case TaskDriver::Change::ReceptionOff:
        TimerReadStream->stop();
        armArrivalReads(false);
        break;
    case TaskDriver::Change::LimitRestarted:
        TimerSkipDev->stop();
        TimerSkipDev->start();
        break;
    case TaskDriver::Change::LimitStopped:
        TimerSkipDev->stop();
        break;
    }
}

bool TfrmKestrovane::listenAfterTask() const {
    return analyzerShowing() && SwitchConnect->isOn();
}

// While a reply is awaited, bytes are read the moment they arrive, so that a whole reply is
// taken without waiting for the next tick. Off otherwise: the analyzer reads the port then, and
// a readable descriptor nobody reads would wake the loop without end.
void TfrmKestrovane::armArrivalReads(bool on) {
    const int fd = PortDrv.ReadyDescriptor();
    if (readNotifier_ && int(readNotifier_->socket()) != fd) {
        // Another port (or none): its notifier may be the sender of the signal being handled.
        readNotifier_->setEnabled(false);
        readNotifier_->deleteLater();
        readNotifier_ = nullptr;
    }
    if (!on || fd >= 0)
        ArrivalPoll->stop();
    if (!on) {
        if (readNotifier_)
            readNotifier_->setEnabled(false);
        return;
    }
    if (fd < 0) {
        // No descriptor to wait on (Windows): a short poll serves instead.
        if (!ArrivalPoll->isActive())
            ArrivalPoll->start();
        return;
    }
    if (!readNotifier_) {
        readNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(readNotifier_, &QSocketNotifier::activated, this, &TfrmKestrovane::bytesArrived);
    }
    readNotifier_->setEnabled(true);
}

void TfrmKestrovane::bytesArrived() {
    if (engineBusy() || !TimerReadStream->isActive()) {
        // Not now: the next tick or request arms it again.
        armArrivalReads(false);
        return;
    }
    driver.ReadArrived();
}

void TfrmKestrovane::rowShowState(int row, int code) {
    const int givenUp = table.validIndex(row) ? table.loggers[static_cast<size_t>(row)].GivenUpRecords : 0;
    list_->showState(row, code, givenUp);
    if (code != TaskDone || !table.validIndex(row))
        return;
    // What the logger acknowledged changes what its row reports about itself.
    if (engine.kind() == TTaskKind::Erase) {
        list_->setValueText(row, LoggerListView::kMeasureCountColumn, QStringLiteral("0"));
    } else if (engine.kind() == TTaskKind::SetPeriod) {
        // The period byte follows the name and "P" in the request the logger answered.
        const size_t at = table.loggers[static_cast<size_t>(row)].LoggerName.size() + 1;
        if (engine.lastCommand().size() > at)
            list_->setValueText(row, LoggerListView::kPeriodColumn,
                                QString::number(static_cast<uint8_t>(engine.lastCommand()[at])));
    }
}

std::string TfrmKestrovane::eraseLossQuestion(int row, int records) const {
    if (!table.validIndex(row))
        return {};
    const LoggerTable::Logger& l = table.loggers[static_cast<size_t>(row)];
    QString who = textFromCp1251(l.LoggerName);
    if (!l.LoggerComment.empty())
        who += QStringLiteral(" («%1»)").arg(textFromCp1251(l.LoggerComment));
    return QStringLiteral("В архиве нет %1 регистратора %2.\r\nПри стирании они будут потеряны. "
                          "Стереть память этого логгера?")
        .arg(tasktext::recordsOf(records), who)
        .toStdString();
}

std::string TfrmKestrovane::startQuestion(TTaskKind kind, const std::string& designed) const {
    std::vector<int> ticked, unticked;
    for (int i = 0; i < table.LoggerCount; ++i)
        (list_->isTicked(i) ? ticked : unticked).push_back(i);
    const int n = static_cast<int>(ticked.size());
    QString ours;
    if (kind == TTaskKind::Erase) {
        ours = n == 0 ? QStringLiteral("Ни один логгер не отмечен.")
                      : QStringLiteral("Стереть все данные из памяти %1: %2?")
                            .arg(tasktext::loggersOf(n), tasktext::names(table, ticked));
    } else if (kind == TTaskKind::SetChannel) {
        const int channel = std::clamp(SpinLogChannel->valueInRange(), 0, 255);
        const QString where = QStringLiteral("канал %1 (%2)").arg(channel).arg(frequencyText(channel));
        ours = n == 0 ? QStringLiteral("Ни один логгер не отмечен: на %1 перейдёт только модем.").arg(where)
                      : QStringLiteral("Перевести %1 на %2?").arg(tasktext::loggersCount(n), where);
        if (n > 0 && !unticked.empty())
            ours += QStringLiteral("\r\nНе отмечены и останутся на канале %1: %2.")
                        .arg(std::clamp(SpinModChannel->valueInRange(), 0, 255))
                        .arg(tasktext::names(table, unticked));
    }
    return ours.isEmpty() ? designed : designed + "\r\n" + ours.toStdString();
}

void TfrmKestrovane::TimerReadStreamTimer() {
    if (engineBusy())
        return;
    if (driver.TimerReadStreamTimer() && TimerReadStream->isActive())
        armArrivalReads(true);
}

void TfrmKestrovane::TimerSkipDevTimer() {
    if (engineBusy())
        return;
    driver.TimerSkipDevTimer();
}
