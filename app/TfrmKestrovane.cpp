#include "app/TfrmKestrovane.h"

#include "app/CentralPushPanel.h"
#include "app/ProgramWindows.h"
#include "app/TImageButton.h"
#include "app/TRadioGroup.h"
#include "app/TaskTexts.h"
#ifdef KV_HAVE_ARCHIVE
#include "archive/ArchiveSink.h"
#endif
#include "engine/TaskEngine.h"
#include "files/FileIo.h"
#include "files/OrxWriter.h"
#include "modem/ModemLine.h"
#include "modem/ModemSender.h"
#include "platform/DateTime.h"
#include "ui/DocumentOpenerQt.h"
#include "ui/LoggerListView.h"
#include "ui/Pictures.h"
#include "ui/TfrmAbout.h"
#include "ui/WindowBounds.h"
#include "widgets/TNumSpinEdit.h"
#include "widgets/TOnOffSwitch.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QScrollArea>
#include <QSlider>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

// The engine's words for the archive's count in panel 1; the window shows the count fresh.
constexpr const char* kUnarchivedLabel = " Не в архиве: ";

QDateTime toQDateTime(TDateTime value) {
    const DateTimeParts p = dt::decode(value);
    return QDateTime(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute, p.second), Qt::UTC);
}

TDateTime fromQDateTime(const QDateTime& v) {
    const QDate d = v.date();
    const QTime t = v.time();
    return dt::encode(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

} // namespace

TfrmKestrovane::TfrmKestrovane(IClock& clock, ISerialOs& serialOs, QWidget* parent)
    : QMainWindow(parent), linkLog(clock), loggedPort(serialOs, linkLog), PortDrv(loggedPort, clock),
      modem(PortDrv, clock),
      engine(table, PortDrv, modem, clock, *this, [this](EngineEvent& e) { onEngineEvent(e); }),
      driver(engine, PortDrv, clock), visit(clock), clock_(clock), messages_(this) {
    setObjectName("frmKestrovane");
    setWindowTitle("Kestrovane");
    setMinimumSize(ui::clientSizeOf(800, 512));
    resize(792, 478);
    // The layout is drawn in pixels for a small dialog font, as on the engineers' laptops.
    QFont f = font();
    f.setPointSizeF(8);
    setFont(f);

    // Design-time values of the port; FormCreate sets the line again.
    PortDrv.setPortName("\\\\.\\COM2");
    PortDrv.setInBufSize(4096);
    PortDrv.setOutBufSize(4096);
    PortDrv.setPollingDelay(200);
    PortDrv.setOutputTimeout(200);
    PortDrv.setHwFlow(hfNONE);

    table.setMessages(&messages_);
    modem.setHost(this);
    openDocument = [](const QString& path) { DocumentOpenerQt().open(path.toStdString()); };
    editDocument = [](const QString& path) { return DocumentOpenerQt().launch(path.toStdString()); };

    buildRegions();
    buildPanelFile();
    buildPanelControl();
    buildDevList();
    buildNonVisual();
    buildVisitMenu();
    driver.setChangeListener([this](TaskDriver::Change c) { onTimerChange(c); });
    driver.setLostHandler([this] { ModemLost(); });

    FormCreate();
}

TfrmKestrovane::~TfrmKestrovane() {
    // The rows go before the window's widgets they live in.
    table.setRowNotifications(nullptr);
    list_.reset();
}

void TfrmKestrovane::FormCreate() {
    setModemLine(PortDrv);

    TimerSkipDev->setInterval(TaskDriver::kLimitMs);

    const TDateTime now = clock_.now();
    setPickerValue(DateTimeBegin, dt::startOfDay(now - 31));
    setPickerValue(DateTimeFinish, now);
    DateTimeBeginCheck->setChecked(false);
    DateTimeFinishCheck->setChecked(false);

    ProgramDir = programDirectory();
    Locations = FileLocations::forProgram(ProgramDir.toStdString());
    // An installed program makes the user's Archive and Cfg folders; a portable one has its own.
    const bool foldersMade = Locations.prepareUserFolders();
    // A save killed midway leaves its temporary file; the folders saved into by default are cleared.
    fileio::removeStaleTemporaries(Locations.archiveDir);
    fileio::removeStaleTemporaries(fileio::folderOf(Locations.settingsFile));
    SaveDialogORX->setDirectory(archiveFolder());
    OpenDialogCfg->setDirectory(QString::fromStdString(Locations.cfgDir));
    table.ConfigFileName.clear();

    loadSounds();

    for (QFrame* b : {BevelSN, BevelD, BevelP, BevelM, BevelT, BevelC})
        b->setGeometry(b->x(), b->y(), b->width(), 0);
    LabelExecution->clear();
    setStatusPanel1(foldersMade
                        ? "Откройте файл конфигурации... Включите модем..."
                        : "Не удается создать папки " + Locations.archiveDir + " и " + Locations.cfgDir);

    readSettings();
    openArchive();
    // What earlier sessions left goes now, once the archive is open (and brought up to date).
    central_->pushSoon();
    // A channel read equal to the design value changes nothing, yet the labels must show it.
    if (LabelModFreq->text().isEmpty())
        SpinModChannelChange();
    // The day goes on with the group of the last one; a group moved away since is no error.
    if (!LastGroup.isEmpty() && QFileInfo(LastGroup).isFile()) {
        LoadConfiguration(LastGroup.toStdString(), table, *this);
        if (table.LoggerCount > 0 && StatusPanel1->text().isEmpty())
            setStatusPanel1("Открыта группа " + fileio::fileNameOf(table.ConfigFileName) +
                            ". Включите модем...");
    }

    RadioGrPower1->setEnabled(CheckBoxAttempt1->isChecked());
    RadioGrPower2->setEnabled(CheckBoxAttempt2->isChecked());
    RadioGrPower3->setEnabled(CheckBoxAttempt3->isChecked());
}

bool TfrmKestrovane::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Hide) {
        // The drop-down hides after the picked date is in the edit; act once the edit is settled.
        if (watched == DateTimeBegin->calendarWidget()->window())
            QTimer::singleShot(0, this, &TfrmKestrovane::DateTimeBeginCloseUp);
        else if (watched == DateTimeFinish->calendarWidget()->window())
            QTimer::singleShot(0, this, &TfrmKestrovane::DateTimeFinishCloseUp);
    }
    return QMainWindow::eventFilter(watched, event);
}

TDateTime TfrmKestrovane::pickerValue(const QDateTimeEdit* edit) const {
    return fromQDateTime(edit->dateTime());
}

void TfrmKestrovane::setPickerValue(QDateTimeEdit* edit, TDateTime value) {
    edit->setDateTime(toQDateTime(value));
}

void TfrmKestrovane::DateTimeBeginCloseUp() {
    const TDateTime now = clock_.now();
    TDateTime v = pickerValue(DateTimeBegin);
    if (v > now)
        v = now;
    setPickerValue(DateTimeBegin, dt::startOfDay(v));
}

void TfrmKestrovane::DateTimeFinishCloseUp() {
    // A date picked is a finish the user set.
    DateTimeFinishCheck->setChecked(true);
    const TDateTime now = clock_.now();
    TDateTime v = pickerValue(DateTimeFinish);
    if (v > now)
        v = now;
    const TDateTime day = dt::startOfDay(v);
    if (day < dt::startOfDay(now))
        v = dt::fromSeconds(dt::toSeconds(day) + 86399);
    else
        v = now;
    setPickerValue(DateTimeFinish, v);
}

void TfrmKestrovane::CheckBoxAttempt1Click() {
    RadioGrPower1->setEnabled(CheckBoxAttempt1->isChecked());
}
void TfrmKestrovane::CheckBoxAttempt2Click() {
    RadioGrPower2->setEnabled(CheckBoxAttempt2->isChecked());
}
void TfrmKestrovane::CheckBoxAttempt3Click() {
    RadioGrPower3->setEnabled(CheckBoxAttempt3->isChecked());
}

void TfrmKestrovane::Label13Click() {
    SpinLogPeriod->setMinimum(0);
}

QString TfrmKestrovane::frequencyText(int channel) {
    return QLocale::system().toString(::ChannelFrequency(channel), 'g', QLocale::FloatingPointShortest) +
           " МГц";
}

// A typed number outside the range names no channel; the label says which ones exist.
QString TfrmKestrovane::channelLabelText(const TNumSpinEdit* spin) {
    const int channel = spin->valueRounded();
    if (spin->bounded(channel) != channel || channel < 0 || channel > 255)
        return QStringLiteral("вне %1…%2").arg(spin->minimum()).arg(spin->maximum());
    return frequencyText(channel);
}

void TfrmKestrovane::SpinModChannelChange() {
    LabelModFreq->setText(channelLabelText(SpinModChannel));
    SpinLogChannel->setValue(SpinModChannel->value());
    // Runs at every keystroke: the field is left as typed, the modem gets a channel in range.
    if (PortDrv.IsOpen() && analyzerShowing() && !taskRunning())
        sendChannelCommand(modemChannel());
}

void TfrmKestrovane::SpinLogChannelChange() {
    LabelLogFreq->setText(channelLabelText(SpinLogChannel));
}

void TfrmKestrovane::ImageRunOrmixClick() {
    CheckBoxRunOrmix->setChecked(!CheckBoxRunOrmix->isChecked());
}

void TfrmKestrovane::ImageHelpClick() {
    if (about_)
        about_->showCentredOn(this);
}

void TfrmKestrovane::ImageRunAnalyzerClick() {
    if (!analyzer_)
        return;
    analyzer_->show();
    analyzer_->raise();
    analyzer_->activateWindow();
}

// IEngineSettings: the controls as the engine reads them, in range, the fields left as they are.

bool TfrmKestrovane::attemptTicked(int attempt) const {
    const QCheckBox* boxes[] = {CheckBoxAttempt1, CheckBoxAttempt2, CheckBoxAttempt3};
    return attempt >= 0 && attempt < 3 && boxes[attempt]->isChecked();
}

int TfrmKestrovane::powerIndex(int attempt) const {
    const TRadioGroup* groups[] = {RadioGrPower1, RadioGrPower2, RadioGrPower3};
    return attempt >= 0 && attempt < 3 ? groups[attempt]->itemIndex() : -1;
}

int TfrmKestrovane::dataBlockPosition() const {
    return TrackBarDataBlockSize->value();
}

// A channel goes out as one byte; with equal bounds the spin edit holds anything.
int TfrmKestrovane::modemChannel() const {
    return std::clamp(SpinModChannel->valueInRange(), 0, 255);
}

int TfrmKestrovane::loggerChannel() const {
    return std::clamp(SpinLogChannel->valueInRange(), 0, 255);
}

int TfrmKestrovane::loggerPeriod() const {
    return SpinLogPeriod->valueInRange();
}

TDateTime TfrmKestrovane::dateBegin() const {
    return pickerValue(DateTimeBegin);
}

TDateTime TfrmKestrovane::dateFinish() const {
    return pickerValue(DateTimeFinish);
}

bool TfrmKestrovane::finishGiven() const {
    return DateTimeFinishCheck->isChecked();
}

void TfrmKestrovane::setStatusPanel1(const std::string& text) {
    panel1Text_ = text.substr(0, text.find(kUnarchivedLabel));
    showPanel1();
}

// The count stays while records wait, also between tasks; the archive's word stays while it
// fails, and otherwise until the next task starts, so that no counter overwrites it unseen.
void TfrmKestrovane::showPanel1() {
    QString text = QString::fromStdString(panel1Text_);
    const int unarchived = archive_ ? archive_->unarchivedRecords() : 0;
    if (unarchived > 0)
        text += QString::fromUtf8(kUnarchivedLabel) + QString::number(unarchived);
    if (!archiveNote_.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" — ")) + archiveNote_;
    if (central_ && !central_->note().isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" — ")) + central_->note();
    StatusPanel1->setText(text);
}

void TfrmKestrovane::switchTasksOff() {
    for (TOnOffSwitch* s : {SwitchDownload, SwitchTime, SwitchErase, SwitchPeriod, SwitchMeas, SwitchChannel})
        s->setOn(false);
}

int TfrmKestrovane::clockAllowance() const {
    return std::clamp(SpinClockAllowance->valueInRange(), 0, 3600);
}

bool TfrmKestrovane::clockCheckOnly() const {
    return ActionClockCheckOnly->isChecked();
}

bool TfrmKestrovane::onlyNew() const {
    return CheckBoxOnlyNew->isChecked() || resuming_;
}

void TfrmKestrovane::openArchive() {
#ifdef KV_HAVE_ARCHIVE
    // Downloads go on whatever the archive does; a failure keeps the retry timer going until the
    // archive has taken every record.
    auto sink = std::make_unique<ArchiveSink>(clock_, [this](const std::string& text) {
        archiveNote_ = QString::fromStdString(text);
        if (archiveFailing())
            TimerArchiveRetry->start();
        showPanel1();
    });
    ArchiveSink* opened = sink.get();
    archive_ = std::move(sink);
    engine.setRecordSink(opened);
    opened->open(archivePath().toStdString());
    visit.keep = [opened](const StatusRead& r) { opened->keepStatus(r); };
    visit.earlier = [opened](const std::string& name) { return opened->statusHistory(name); };
#endif
}

bool TfrmKestrovane::archiveFailing() const {
#ifdef KV_HAVE_ARCHIVE
    return archive_ && static_cast<const ArchiveSink*>(archive_.get())->failing();
#else
    return false;
#endif
}

void TfrmKestrovane::TimerArchiveRetryTimer() {
#ifdef KV_HAVE_ARCHIVE
    if (archive_)
        static_cast<ArchiveSink*>(archive_.get())->flush(0);
#endif
    if (!archiveFailing()) {
        TimerArchiveRetry->stop();
        // Blocks held back reached the archive after the download's push.
        if (central_)
            central_->pushSoon();
    }
    showPanel1();
}

void TfrmKestrovane::flushArchiveAtClose() {
#ifdef KV_HAVE_ARCHIVE
    // The program will not try again: a busy archive gets a few seconds more.
    auto* sink = static_cast<ArchiveSink*>(archive_.get());
    if (!sink || sink->flush(3000))
        return;
    messages_.error("Не в архиве осталось записей: " + std::to_string(sink->unarchivedRecords()) + ". " +
                    archiveNote_.toStdString());
#endif
}

bool TfrmKestrovane::loggerTicked(int row) const {
    return list_->isTicked(row);
}

void TfrmKestrovane::setModemChannel(int channel) {
    SpinModChannel->setValue(channel);
}

void TfrmKestrovane::setCaption(const std::string& utf8) {
    setWindowTitle(QString::fromStdString(utf8));
}

void TfrmKestrovane::ImageOpenCFGClick() {
    if (taskRunning())
        return;
    if (OpenDialogCfg->exec() != QDialog::Accepted || OpenDialogCfg->selectedFiles().isEmpty())
        return;
    LoadConfiguration(OpenDialogCfg->selectedFiles().first().toStdString(), table, *this);
}

void TfrmKestrovane::sendChannelCommand(int channel) {
    modem.SendToModem(true, std::string("#C") + static_cast<char>(static_cast<uint8_t>(channel)));
}

bool TfrmKestrovane::analyzerShowing() const {
    return analyzer_ && analyzer_->isVisible();
}

void TfrmKestrovane::analyzerStart() {
    if (analyzer_)
        analyzer_->FormShow();
}
void TfrmKestrovane::analyzerShowRoutine() {
    analyzerStart();
}
void TfrmKestrovane::analyzerCloseRoutine() {
    if (analyzer_)
        analyzer_->FormClose();
}

void TfrmKestrovane::setStatusPanel0(const std::string& text) {
    StatusPanel0->setText(QString::fromStdString(text));
}
double TfrmKestrovane::portSpinValue() const {
    return SpinPortNum->valueInRange();
}
double TfrmKestrovane::portSpinMinimum() const {
    return SpinPortNum->minimum();
}
void TfrmKestrovane::setPortSpinValue(double value) {
    SpinPortNum->setValue(value);
}
void TfrmKestrovane::turnConnectSwitchOff() {
    SwitchConnect->setOn(false);
}

void TfrmKestrovane::SwitchConnectOn() {
    // The search takes the port number now: a typed one out of range is shown as taken.
    SpinPortNum->valueUsed();
    modem.SwitchConnectOn(*this);
}
void TfrmKestrovane::SwitchConnectOff() {
    modem.SwitchConnectOff(*this);
}

bool TfrmKestrovane::ModemLost() {
    if (!PortDrv.DeviceLost())
        return false;
    const bool running = taskRunning();
    const bool downloading = running && engine.kind() == TTaskKind::Download;
    // The modem switch's off handler closes the port, so a loss is handled once.
    if (SwitchConnect->isOn())
        SwitchConnect->setOn(false);
    else
        SwitchConnectOff();
    if (downloading)
        noteCutDownload();
    setStatusPanel1(std::string(ModemLink::kLostPanelText) + (running ? ". " + lastSummary_ : std::string()));
    messages_.error(ModemLink::kLostText);
    return true;
}

void TfrmKestrovane::startTask(TOnOffSwitch* sw, TTaskKind kind) {
    // With nothing reading the port, a pulled adapter is found only now, at its next use.
    const bool lost = PortDrv.CheckDevice();
    // After a pull the download goes on: what came stays, and no question about losing it.
    const bool resume = !lost && kind == TTaskKind::Download && mayResume();
    if (resume)
        holdForResume();
    if (!lost && engine.CheckStart(kind)) {
        if (kind == TTaskKind::Download)
            downloadCut_ = false;
        if (!archiveFailing())
            archiveNote_.clear();
        // A download starts over with the table's records; any other task overwrites the states
        // that tell how far the records came.
        if (kind == TTaskKind::Download) {
            downloadStates_.clear();
        } else if (engine.kind() == TTaskKind::Download) {
            downloadStates_.clear();
            for (const LoggerTable::Logger& l : table.loggers)
                downloadStates_.push_back(l.LoggerState);
        }
        engine.StartTask(kind);
        return;
    }
    mergeHeld();
    // A refused start puts the switch back without stopping a task that never ran.
    auto off = sw->offHandler();
    sw->setOffHandler({});
    sw->setOn(false);
    sw->setOffHandler(off);
    if (lost)
        ModemLost();
}

void TfrmKestrovane::SwitchDownloadOn() {
    startTask(SwitchDownload, TTaskKind::Download);
}
void TfrmKestrovane::SwitchDownloadOff() {
    engine.StopTask();
    const bool continued = resuming_;
    mergeHeld();
    taskStopped(continued);
    // Off the window's thread: reception never waits for the network.
    if (central_)
        central_->pushSoon();
}
void TfrmKestrovane::SwitchTimeOn() {
    startTask(SwitchTime, TTaskKind::SetTime);
}
void TfrmKestrovane::SwitchTimeOff() {
    engine.StopTask();
    taskStopped();
}
void TfrmKestrovane::SwitchEraseOn() {
    startTask(SwitchErase, TTaskKind::Erase);
}
void TfrmKestrovane::SwitchEraseOff() {
    engine.StopTask();
    taskStopped();
}
void TfrmKestrovane::SwitchPeriodOn() {
    startTask(SwitchPeriod, TTaskKind::SetPeriod);
}
void TfrmKestrovane::SwitchPeriodOff() {
    engine.StopTask();
    taskStopped();
}
void TfrmKestrovane::SwitchMeasOn() {
    startTask(SwitchMeas, TTaskKind::Measure);
}
void TfrmKestrovane::SwitchMeasOff() {
    engine.StopTask();
    taskStopped();
}
void TfrmKestrovane::SwitchChannelOn() {
    startTask(SwitchChannel, TTaskKind::SetChannel);
}

void TfrmKestrovane::SwitchChannelOff() {
    engine.StopTask();
    taskStopped();
    const int oldChannel = modemChannel();
    const int newChannel = loggerChannel();
    std::vector<int> moved, stayed;
    for (int i = 0; i < table.LoggerCount; ++i)
        (loggerTicked(i) && table.loggers[static_cast<size_t>(i)].LoggerState >= TaskDone ? moved : stayed)
            .push_back(i);
    const bool succeeded = engine.ChannelChangeSucceeded();
    const QString split = tasktext::splitNote(table, moved, stayed, oldChannel, newChannel, succeeded);
    const QString note = split.isEmpty() ? QString() : QStringLiteral("\r\n") + split;
    if (!succeeded) {
        messages_.errorText(QString::fromUtf8(channeltext::kCritical) + note);
        return;
    }
    SpinModChannel->setValue(newChannel);
    messages_.infoText(QString::fromUtf8(channeltext::kSuccess) + note);
    const QString path = QString::fromStdString(table.ConfigFileName);
    if (path.isEmpty() || !QFileInfo(path).isFile())
        messages_.error(std::string(channeltext::kOpenFailed) + table.ConfigFileName);
    else if (!editDocument(path))
        messages_.errorText(
            QStringLiteral("Не удалось запустить редактор для файла %1.\r\nОткройте его сами и "
                           "исправьте строку Channel на %2.")
                .arg(path)
                .arg(newChannel));
}

void TfrmKestrovane::taskStopped(bool continued) {
    // The engine ends a task it has run through with every attempt done; any other end is a stop.
    const bool stopped = engine.attemptIndex() < 3;
    QString detail;
    QString summary = tasktext::summary(table, tickedLoggers(), engine.kind(), stopped, continued, &detail);
    if (engine.kind() == TTaskKind::SetTime && !clockFindings_.empty()) {
        QStringList lines;
        summary +=
            QStringLiteral("; ") + tasktext::clockNote(table, clockFindings_, clockCheckOnly(), &lines);
        detail += QStringLiteral("\n") + lines.join('\n');
    }
    lastSummary_ = summary.toStdString();
    setStatusPanel1(lastSummary_);
    StatusPanel1->setToolTip(detail);
    if (!stopped)
        QApplication::alert(this);
}
