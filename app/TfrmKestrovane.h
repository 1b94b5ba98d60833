#pragma once
#include "app/QtMessages.h"
#include "app/TaskTexts.h"
#include "engine/EngineEvents.h"
#include "engine/LoggerTable.h"
#include "engine/RecordSink.h"
#include "engine/TaskDriver.h"
#include "engine/TaskEngine.h"
#include "files/ConfigReader.h"
#include "modem/ModemLink.h"
#include "platform/Clock.h"
#include "platform/FileLocations.h"
#include "report/VisitRecorder.h"
#include "serial/LinkLog.h"
#include "serial/LinkLogSerialOs.h"
#include "serial/TSerialPortDriver.h"
#include "ui/SoundNotices.h"
#include "ui/TfrmAnalyzer.h"

#include <QByteArray>
#include <QList>
#include <QMainWindow>
#include <QPixmap>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class IniFile;
class QCheckBox;
class QDateTimeEdit;
class QFileDialog;
class QFrame;
class QLabel;
class QProgressBar;
class QScrollArea;
class QSlider;
class QSocketNotifier;
class IRecordSink;
class QStatusBar;
class QTimer;
class TNumSpinEdit;
class TOnOffSwitch;
class TRadioGroup;
class TImageButton;
class LoggerListView;
class IModemSender;
class ISoundOutput;
class TfrmAbout;
class CentralPushPanel;

// The main window: every control of the program's main screen, the program's state and its
// handlers under their given names. The handlers delegate to the core objects it owns.
class TfrmKestrovane : public QMainWindow,
                       public IEngineSettings,
                       public IConfigHost,
                       public IModemHost,
                       public IAnalyzerHost {
    Q_OBJECT
public:
    // FormCreate runs here. The clock serves every "now" of the window (tests pass a fake one).
    TfrmKestrovane(IClock& clock, ISerialOs& serialOs, QWidget* parent = nullptr);
    ~TfrmKestrovane() override;

    // The two tool windows, created after this one (program entry steps 3 and 4).
    void setAboutBox(TfrmAbout* about) { about_ = about; }
    // Where the notices sound; without one they stay silent.
    void setSoundOutput(ISoundOutput* output) { soundOutput_ = output; }
    void setAnalyzer(TfrmAnalyzer* analyzer) { analyzer_ = analyzer; }
    TfrmAnalyzer* analyzer() const { return analyzer_; }

    // Handlers of the window and its controls.
    void FormCreate();
    // Returns false when a settings key could not be written (the window closes all the same).
    bool FormClose();
    // The system asks the program to end (a signal, logout): the window closes without asking
    // anyone, unsaved records go to Archive and every message to standard error.
    void closeForSignal();
    // Records came in after the last successful save.
    bool hasUnsavedRecords() const;
    // The save of ImageSaveORXClick; true when the file was written.
    bool saveMeasurements();
    void DateTimeBeginCloseUp();
    void DateTimeFinishCloseUp();
    void CheckBoxAttempt1Click();
    void CheckBoxAttempt2Click();
    void CheckBoxAttempt3Click();
    void Label13Click();
    void SwitchConnectOn();
    void SwitchConnectOff();
    void SwitchDownloadOn();
    void SwitchDownloadOff();
    void SwitchTimeOn();
    void SwitchTimeOff();
    void SwitchEraseOn();
    void SwitchEraseOff();
    void SwitchPeriodOn();
    void SwitchPeriodOff();
    void SwitchMeasOn();
    void SwitchMeasOff();
    void SwitchChannelOn();
    void SwitchChannelOff();
    void TimerReadStreamTimer();
    void TimerSkipDevTimer();
    // Records the archive could not take yet are tried again; panel 1 follows their count.
    void TimerArchiveRetryTimer();
    void ImageOpenCFGClick();
    void ImageSaveORXClick();
    void SpinModChannelChange();
    void SpinLogChannelChange();
    void ImageSoundClick();
    void ImageRunOrmixClick();
    void ImageHelpClick();
    void ImageRunAnalyzerClick();
    void TimerFinishedSoundTimer();
    // The modem's adapter was pulled: handled as switching the modem off, with a message. True
    // when it was.
    bool ModemLost();

    // Texts and numbers shown by the window.
    // "#C" and the channel byte, through the modem link once it is attached.
    void sendChannelCommand(int channel);
    void playCompleted();
    void playMissed();
    void playFinished();
    LoggerListView* list() const { return list_.get(); }
    static QString frequencyText(int channel);

    // State exposed to the other parts.
    QString ProgramDir;
    // Where the settings, sounds, Archive and Cfg are for this program folder (set with ProgramDir).
    FileLocations Locations;
    QByteArray soundCompleted, soundMissed, soundFinished;
    int SoundMode = 1;
    LoggerTable table;
    // Settings/Журнал связи: the link log for support, between the driver and the system's port.
    LinkLog linkLog;
    LinkLogSerialOs loggedPort;
    TSerialPortDriver PortDrv;
    ModemLink modem;
    TaskEngine engine;
    TaskDriver driver;
    // The visit so far (TfrmKestrovaneVisit.cpp): what "Отчёт о выезде…" writes.
    VisitRecorder visit;
    // Where the report goes; the save dialog by default, tests replace it. Empty: cancelled.
    std::function<QString()> askReportPath;
    void ActionVisitReportClick();
    QtMessages& qtMessages() { return messages_; }
    QString settingsPath() const { return QString::fromStdString(Locations.settingsFile); }
    // Every record received is kept there across downloads, beside the program's own data.
    QString archivePath() const { return QString::fromStdString(Locations.dataDir) + "/archive.sqlite"; }
    // Where the save dialog starts, and where a close that asks no one saves.
    QString archiveFolder() const { return QString::fromStdString(Locations.archiveDir); }
    // Settings/PortDevice: the device pattern for the serial backend ("%d" = port number).
    QString PortDevice;
    // Settings/LastGroup: the group file open when the program last closed, opened again at start.
    QString LastGroup;

    // Regions.
    QWidget* PanelFile = nullptr;
    QWidget* PanelControl = nullptr;
    QScrollArea* ScrollBoxDevList = nullptr;
    QWidget* DevListContent = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* StatusPanel0 = nullptr;
    QLabel* StatusPanel1 = nullptr;

    // PanelFile.
    TImageButton* ImageOpenCFG = nullptr;
    TImageButton* ImageSaveORX = nullptr;
    QCheckBox* CheckBoxRunOrmix = nullptr;
    TImageButton* ImageRunOrmix = nullptr;
    TImageButton* ImageSound = nullptr;
    TImageButton* ImageHelp = nullptr;
    QLabel* LabelExecution = nullptr;
    QProgressBar* ProgrBarExecution = nullptr;
    QLabel* Label15 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label3 = nullptr;
    // Headings of the values read at a glance (battery, signal level, clock), after the comments.
    std::array<QLabel*, 3> GlanceHeadings{};

    // PanelControl.
    TNumSpinEdit* SpinPortNum = nullptr;
    TOnOffSwitch* SwitchConnect = nullptr;
    TNumSpinEdit* SpinModChannel = nullptr;
    QLabel* LabelModFreq = nullptr;
    TImageButton* ImageRunAnalyzer = nullptr;
    QDateTimeEdit* DateTimeBegin = nullptr;
    QCheckBox* DateTimeBeginCheck = nullptr;
    QDateTimeEdit* DateTimeFinish = nullptr;
    QCheckBox* DateTimeFinishCheck = nullptr;
    QCheckBox* CheckBoxOnlyNew = nullptr; // downloads start after each logger's newest archived record
    QSlider* TrackBarDataBlockSize = nullptr;
    TRadioGroup* RadioGrPower1 = nullptr;
    TRadioGroup* RadioGrPower2 = nullptr;
    TRadioGroup* RadioGrPower3 = nullptr;
    QCheckBox* CheckBoxAttempt1 = nullptr;
    QCheckBox* CheckBoxAttempt2 = nullptr;
    QCheckBox* CheckBoxAttempt3 = nullptr;
    TImageButton* ImageArrowAttemptPtr = nullptr;
    TOnOffSwitch* SwitchDownload = nullptr;
    TOnOffSwitch* SwitchTime = nullptr;
    TOnOffSwitch* SwitchMeas = nullptr;
    TOnOffSwitch* SwitchErase = nullptr;
    TOnOffSwitch* SwitchPeriod = nullptr;
    TOnOffSwitch* SwitchChannel = nullptr;
    TNumSpinEdit* SpinLogPeriod = nullptr;
    TNumSpinEdit* SpinClockAllowance = nullptr; // seconds a clock may be off and left alone
    QAction* ActionClockCheckOnly = nullptr;    // the clock task reads the clocks, sets none
    TNumSpinEdit* SpinLogChannel = nullptr;
    QLabel* LabelLogFreq = nullptr;
    TImageButton* Label13 = nullptr;

    // ScrollBoxDevList.
    QFrame* BevelSN = nullptr;
    QFrame* BevelD = nullptr;
    QFrame* BevelP = nullptr;
    QFrame* BevelM = nullptr;
    QFrame* BevelT = nullptr;
    QFrame* BevelC = nullptr;
    TImageButton* ImageArrowDevPtr = nullptr;

    // Non-visual members.
    QTimer* TimerReadStream = nullptr;
    QTimer* TimerSkipDev = nullptr;
    QTimer* TimerFinishedSound = nullptr;
    QTimer* ArrivalPoll = nullptr;       // reads between ticks where the port offers no descriptor
    QTimer* TimerArchiveRetry = nullptr; // runs while the archive fails or records wait for it
    QFileDialog* OpenDialogCfg = nullptr;
    QFileDialog* SaveDialogORX = nullptr;
    QList<QPixmap> ImageListBat;
    QList<QPixmap> ImageListAnt;
    QList<QPixmap> ImageListSound;

    // IEngineSettings: the controls as the engine reads them, each in range without touching it.
    bool attemptTicked(int attempt) const override;
    int powerIndex(int attempt) const override;
    int dataBlockPosition() const override;
    int modemChannel() const override;
    int loggerChannel() const override;
    int loggerPeriod() const override;
    TDateTime dateBegin() const override;
    TDateTime dateFinish() const override;
    bool finishGiven() const override;
    bool loggerTicked(int row) const override;
    bool onlyNew() const override;
    bool listenAfterTask() const override;
    int clockAllowance() const override;
    bool clockCheckOnly() const override;

    // The engine's events on the widgets (TfrmKestrovaneEvents.cpp); tests play some of them.
    void onEngineEvent(EngineEvent& e);
    // A task runs from its start to its stop; the progress bar shows while it does.
    bool taskRunning() const override { return engine.running(); }
    void setStatusPanel1(const std::string& text) override;
    void switchTasksOff() override;
    bool analyzerShowing() const override;
    IMessages& messages() override { return messages_; }

    // IModemHost.
    void setStatusPanel0(const std::string& text) override;
    double portSpinValue() const override;
    double portSpinMinimum() const override;
    void setPortSpinValue(double value) override;
    void turnConnectSwitchOff() override;
    void analyzerShowRoutine() override;
    void analyzerCloseRoutine() override;

    // IAnalyzerHost.
    void setSignalLevel(double level) override { engine.setSignalLevel(level); }
    void portLost() override { ModemLost(); }

    // IConfigHost.
    void setModemChannel(int channel) override;
    void setCaption(const std::string& utf8) override;
    void groupNotice(const std::string& utf8) override { setStatusPanel1(utf8); }

    // Hands a saved file to the program the desktop associates with it; tests replace it.
    std::function<void(const QString& path)> openDocument;
    // The same for the group file after a channel change; false when no program could be started.
    std::function<bool(const QString& path)> editDocument;
    // The name the save dialog proposes: the group and the moment.
    QString proposedSaveName() const;

    TDateTime pickerValue(const QDateTimeEdit* edit) const;
    void setPickerValue(QDateTimeEdit* edit, TDateTime value);

signals:
    // The window has closed and written its settings: the program ends.
    void closedForGood();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onTimerChange(TaskDriver::Change change);
    void rowShowState(int row, int code);
    // The question a start asks; the window adds what the task acts on to the designed text.
    std::string startQuestion(TTaskKind kind, const std::string& designed) const;
    // "В архиве нет N записей регистратора …": whether to erase a logger the archive lacks records of.
    std::string eraseLossQuestion(int row, int records) const;
    void clockFound(const EngineEvent& e);
    void analyzerStart();
    void buildRegions();
    void buildPanelFile();
    void buildPanelControl();
    void buildDevList();
    void buildNonVisual();
    void buildVisitMenu();
    void openLinkLog(const IniFile& ini);
    // What the visit report and the rows' warnings take from an engine event.
    void visitEvent(const EngineEvent& e);
    void visitTaskStarted(TTaskKind kind);
    void showVisitWarnings(int row);
    void readSettings();
    bool writeSettings();
    void loadSounds();
    void showSoundPicture();
    void playNotice(Notice notice, const QByteArray& wav);
    // The on handler of a task switch: starts the task, or puts the switch back.
    void startTask(TOnOffSwitch* sw, TTaskKind kind);
    void armArrivalReads(bool on);
    void openArchive();
    // Panel 1: the last text given to it, the count of records not archived yet, and the
    // archive's last word while it matters.
    void showPanel1();
    bool archiveFailing() const;
    // The last chance of records held back by the archive; what stays out of it is said.
    void flushArchiveAtClose();
    void bytesArrived();
    // Asks about unsaved records (or, unattended, saves them); false keeps the window open.
    bool mayClose();
    void saveUnsavedToArchive();
    std::vector<bool> tickedLoggers() const;
    // After every off handler's StopTask: panel 1 says what the task came to.
    void taskStopped(bool continued = false);
    static QString channelLabelText(const TNumSpinEdit* spin);
    // Loggers whose records in the table come from a download that did not finish for them.
    std::vector<bool> halfFetched() const;
    // Timer ticks that must not reach the engine while a modal box runs its own loop.
    bool engineBusy() const { return messages_.depth() > 0; }

    IClock& clock_;
    QtMessages messages_;
    TfrmAbout* about_ = nullptr;
    ISoundOutput* soundOutput_ = nullptr;
    TfrmAnalyzer* analyzer_ = nullptr;
    QSocketNotifier* readNotifier_ = nullptr;
    std::unique_ptr<IRecordSink> archive_;
    std::string panel1Text_; // without the engine's count of records not archived
    QString archiveNote_;    // a failure, a vanished file, or that all is archived again
    // Settings/Центральный архив: the push after each download, and its word in panel 1.
    std::unique_ptr<CentralPushPanel> central_;
    std::unique_ptr<LoggerListView> list_;
    std::string lastSummary_;                           // how the last task ended, for panel 1
    std::vector<tasktext::ClockFinding> clockFindings_; // of the clock task running or last run

    // A download cut by the loss of the modem, and its records held aside while it goes on.
    class ResumeSink;
    struct HeldLogger {
        bool resumable = false; // nothing given up: asked only for what is newer
        bool complete = false;  // its download had finished before the cut
        std::vector<int16_t> codes;
        std::vector<TDateTime> times;
        std::vector<int16_t> voltages;
        std::vector<std::vector<int16_t>> readings;
    };
    void noteCutDownload();
    bool mayResume() const;
    void holdForResume();
    // Puts the held records back in front of what the resumed download brought.
    void mergeHeld();
    bool downloadCut_ = false;
    std::string cutConfig_;
    TDateTime cutBegin_ = 0, cutFinish_ = 0;
    bool cutFinishGiven_ = false;
    std::vector<uint8_t> cutStates_;
    std::vector<int32_t> cutGivenUp_;
    bool resuming_ = false;
    bool heldUnsaved_ = false;
    uint64_t arrivalsAtHold_ = 0;
    std::vector<HeldLogger> held_;
    std::unique_ptr<IRecordSink> resumeSink_; // a ResumeSink while a download goes on
    bool closed_ = false;
    bool closing_ = false; // a close is asking its question
    // Each logger's state as the last download left it, once a later task reuses the states;
    // empty while they are the download's own.
    std::vector<uint8_t> downloadStates_;
};
