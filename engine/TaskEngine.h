#pragma once
#include "engine/EngineEvents.h"
#include "engine/StatusDecoder.h"
#include "platform/DateTime.h"

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

class IClock;
class IModemSender;
class IRecordSink;
class LoggerTable;
class TaskDriver;
class TSerialPortDriver;

// Runs one task at a time over the ticked loggers: search attempts with their powers, the
// requests, the reception tick that frames the modem's packets, and the step machine that
// interprets each reply. Single-threaded; it reads the settings when it needs them and tells
// what happens through one event handler. Time comes from a TaskDriver.
//
// A front end's part:
//  - a task switch's on-handler calls CheckStart(kind); on false it puts its switch back with the
//    off handler detached, on true it calls StartTask(kind);
//  - every off-handler calls StopTask; SwitchChannelOff then calls ChannelChangeSucceeded;
//  - on RunThrough it turns the task's switch off, as the user would;
//  - the noise analyzer gives the level it reads to setSignalLevel.
class TaskEngine {
public:
    enum Step : int {
        AskStatus = 0,
        AwaitStatus = 1,
        AwaitBlock = 2,
        SendTime = 3,
        AwaitTimeAck = 4,
        SendErase = 5,
        AwaitEraseAck = 6,
        SendPeriod = 7,
        AwaitPeriodAck = 8,
        SendMeasure = 9,
        AwaitMeasureAck = 10,
        SendChannel = 11,
        AwaitChannelAck = 12,
        // A clock checked against its allowance: the status first, and after a setting the status
        // that confirms it; an erase that looks at the archive first.
        AwaitClockStatus = 13,
        AwaitClockConfirm = 14,
        AwaitEraseStatus = 15,
    };
    // A setting is confirmed when the clock then reads within the allowance, or this close: the
    // time sent is in whole seconds and the reply takes its time on the air.
    static constexpr int64_t kClockConfirmSeconds = 2;
    // A clock that reads wrong after its setting is set again this many times in the turn.
    static constexpr int kClockSetTries = 2;

    static constexpr size_t kReceptionBufferSize = 4096;
    static constexpr size_t kMaxPacketPayload = 59;
    // A block with a damaged record is received at most this many times; the good records of
    // all its tries are kept, and after the last try the block is taken with what it has.
    static constexpr int kBlockTries = 3;
    // Requests that look for the records between two blocks when their times leave a gap; after
    // these the gap is taken as one the records cannot close.
    static constexpr int kProbeTries = 4;

    TaskEngine(LoggerTable& table, TSerialPortDriver& port, IModemSender& modem, IClock& clock,
               const IEngineSettings& settings, EngineEventHandler events);
    // Every accepted block also goes there, and downloads of only what is new ask it.
    void setRecordSink(IRecordSink* sink) { sink_ = sink; }
    // The driver that keeps time for this engine; it sets itself.
    void setDriver(TaskDriver* driver) { driver_ = driver; }
    TaskEngine(const TaskEngine&) = delete;
    TaskEngine& operator=(const TaskEngine&) = delete;

    // The start checks of a task switch, in their order; asks the confirmations and tells the
    // period error through events. For Download it discards the loaded data once the user agreed.
    // True: the caller goes on with StartTask.
    bool CheckStart(TTaskKind kind);
    void StartTask(TTaskKind kind);
    void StopTask();
    void NextLogger();
    void HandleReply();
    void TimerReadStreamTimer();
    // Bytes are waiting between two reception ticks: they are framed at once, and a reply known
    // to be whole is handled without waiting for the quiet line.
    void ReadArrived();
    void TimerSkipDevTimer();
    void UpdateLinkDisplay();
    // Stores the code for CurrentLogger and tells it (codes 2 and up refresh the link).
    void ShowState(int code);

    // The channel task's result, for SwitchChannelOff after StopTask: looks in table order for a
    // ticked logger below TaskDone, leaving CurrentLogger at it (or at LoggerCount). True when
    // there is none.
    bool ChannelChangeSucceeded();

    // A task runs from StartTask to StopTask.
    bool running() const { return running_; }
    TTaskKind kind() const { return kind_; }
    static int firstStep(TTaskKind kind);
    static uint8_t powerByte(int itemIndex);
    // Level of a packet's strength byte, dBm.
    static double levelOfStrength(uint8_t r);
    // Width of the row's signal bar for a level; never below 0.
    static int signalBarWidth(double levelDbm);
    // "dd.mm.yy hh:nn:ss" to the six set-clock bytes.
    static std::string setClockBytes(const std::string& timeText);
    // The status clock of the last decoded status was a real date and time.
    bool statusClockValid() const { return statusClockValid_; }

    // What a front end may show.
    int taskStep() const { return TaskStep; }
    int attemptIndex() const { return AttemptIndex; }
    int failureCount() const { return FailureCount; }
    int byteCount() const { return ByteCount; }
    int droppedRecords() const { return DroppedRecords; }
    double signalLevel() const { return SignalLevel; }
    // The noise analyzer reads the level while no task runs.
    void setSignalLevel(double level) { SignalLevel = level; }
    // The next tick starts a reply afresh, as after a request (the benchmark replays one stream).
    void restartReception() {
        ResetReception = true;
        AcceptSequence = true;
    }
    const std::string& lastCommand() const { return LastCommand; }
    const std::string& timeText() const { return TimeText; }
    size_t replySize() const { return ReplyData.size(); }
    int planRecordLength() const { return RecordLength; }
    int planBatch() const { return BatchRecordCount; }
    int planStart() const { return StartOffset; }
    int planEnd() const { return EndOffset; }

    // Pure planning arithmetic, exposed for tests: fills RecordLength, BatchRecordCount,
    // StartOffset and EndOffset (StartOffset already moved past the first block) and returns
    // the number of blocks (the progress bar's maximum), 0 for an empty plan.
    int PlanDownload(TDateTime now, TDateTime begin, TDateTime finish, int sensorCount, int period,
                     int measureCount, int blockPosition);
    // Moves the plan past the block just accepted; false when the download is complete.
    bool NextBlock();
    // Records a block of this size holds for this sensor count: at least one.
    static int blockCapacity(int sensorCount, int blockPosition);

private:
    int TaskStep = AskStatus;
    int AttemptIndex = 0;
    int FailureCount = 0;
    int ByteCount = 0;
    double SignalLevel = 0.0;
    std::string LastCommand;
    std::string TimeText;

    // Reception.
    bool ResetReception = true;
    bool ReceptionError = false;
    bool AcceptSequence = true;
    uint8_t PacketPos = 0;
    uint8_t PacketLength = 0;
    uint8_t SequenceNumber = 0;
    int PacketCount = 0;
    std::string ReplyText;
    std::vector<uint8_t> ReplyData;

    // Download plan.
    int RecordLength = 10;
    int BatchRecordCount = 0;
    int StartOffset = 0;
    int EndOffset = 0;
    // Replies to the current block that left records of it missing.
    int BlockFailures = 0;
    // Records of this task still missing: damaged in every try of their block, summed over the
    // loggers (a logger asked again in a later attempt counts only what that turn gave up).
    int DroppedRecords = 0;

    void tell(EngineEvent& e) {
        if (events_)
            events_(e);
    }
    void tell(EngineEvent::Kind kind);
    // An event of this kind about the task running (or the one asked for).
    EngineEvent event(EngineEvent::Kind kind, std::optional<TTaskKind> task = std::nullopt) const;
    void tellLoggerState(int row, int code);
    void setProgress(int position, int maximum, EngineEvent::Phase phase);
    void advanceProgress();
    void setReception(bool on);
    void restartLimit();
    void stopLimit();
    const std::string& currentName() const;
    bool currentValid() const;
    bool replyIs(const char* keyword) const;
    int currentYear() const;
    void sendAir(const std::string& bytes);
    void sendCommand(const std::string& bytes);
    // newTurn: the first request of a turn, which shows the logger as not found until it answers.
    void sendRequest(const std::string& request, int waitingStep, bool newTurn = true);
    void sendLastCommand();
    void retransmit();
    void requestBlock();
    std::string blockRequest() const;
    std::string setClockRequest();
    size_t replyDataLimit() const;
    void resetIfAsked();
    // Reads what waits and frames it; the number of bytes read.
    uint32_t receive();
    void frame(uint32_t n);
    void packetEnded();
    // A block reply is taken packet by packet: what lies wholly in intact packets at a known
    // place is kept, and only the records still missing are asked for again.
    void frameBlock(uint32_t n);
    void blockPacket();
    void placeData(int number, const uint8_t* payload, size_t size);
    bool blockReplyWhole() const;
    bool blockReplyOver() const;
    void closeBlockReception();
    void resetBlockReception();
    // Puts the reply's good records into the block; the number of records still to ask for.
    int mergeReply();
    // Asks for the records of the block still missing; failed: the reply just taken lacked some
    // it was asked for (a part not asked yet is no failure).
    void askMissing(bool failed);
    // The records of a gap a request skips cost more than another request would.
    int joinRecords() const;
    // The request size follows the link: smaller after a reply lost or cut off, larger again
    // while replies come whole.
    void adaptRequestSize(bool cutOff, bool clean);
    bool fitsBetweenHeld(size_t i, const uint8_t* rec, TDateTime time) const;
    // The reply holds exactly what its keyword and the step announce.
    bool replyComplete() const;
    void takeReply();
    void handleStatus();
    // The reply is this logger's whole status, decoded into status.
    bool replyStatus(LoggerStatus& status) const;
    bool awaitingStatus() const;
    void tellStatusDecoded(const LoggerStatus& status);
    void handleBlock();
    // The clock task with an allowance or only checking, and the erase that keeps what the
    // archive does not hold.
    bool clockChecked() const;
    void takeCheckStatus(const LoggerStatus& status);
    void handleClockStatus();
    void handleClockConfirm();
    // Sends the computer's time; first: the first setting of this logger's turn.
    void setClock(bool first);
    void tellClockChecked(bool valid, long long seconds, bool leftAlone);
    // The logger acknowledged the time: read its clock back.
    void clockTaken();
    // The status clock less the computer's, seconds.
    long long deviationOf(const LoggerStatus& status) const;
    void tellClockConfirmed(const std::string& clockText);
    void handleEraseStatus();
    // Records of the logger's memory the archive does not hold, from its status.
    int unarchivedOf(const LoggerStatus& status) const;
    int newestKeptOffset() const;
    // The end of a logger's turn, but for a download whose clock is still to be set.
    void finish();
    // The allowance a clock read back after its setting is measured against.
    long long clockTolerance() const;

    // One logger's download turn. The plan's blocks run oldest first with offsets counted back
    // from the newest record, so a record the logger takes meanwhile shifts every offset by one:
    // the records' times are checked where blocks meet, and at both ends of the window.
    enum class BlockKind {
        Forward, // the plan's blocks, towards the finish
        Older,   // further back than planned: the records did not reach the begin yet
        Probe,   // the records just older than a forward block whose boundary left a gap
    };
    struct HeldRecord {
        std::vector<uint8_t> raw;
        TDateTime time = 0;
        int16_t voltage = 0;
        std::vector<int16_t> readings;
    };
    using Positions = std::vector<std::optional<HeldRecord>>; // a block oldest first; empty: given up
    // Sets the window and plans the first block; the number of planned blocks.
    int startTurn(const LoggerStatus& status);
    TDateTime finishMoment() const;
    Positions acceptedPositions() const;
    // Every good record of the block reply is one this turn holds already.
    bool replyHeldAlready() const;
    void acceptBlock();
    void forwardArrived(Positions& block);
    void olderArrived(Positions& block);
    void probeArrived(Positions& block);
    bool boundaryInDoubt(const Positions& block) const;
    bool needOlder() const;
    bool needNewer() const;
    void askBlock(BlockKind kind, int offset, int count);
    void askProbe(int offset);
    void continueForward();
    void endTurn();
    bool inWindow(TDateTime t) const;
    // Keeps a record of the turn in the table, in memory order; false for one already held.
    bool keep(const HeldRecord& r, bool atFront);
    void keepAll(const Positions& block, bool atFront);
    // The records' usual spacing at the newest or the oldest end of the turn, seconds.
    int64_t spacingSeconds(bool atNewest) const;
    void askOlder();
    void countGivenUp(int records);

    LoggerTable& table_;
    TSerialPortDriver& port_;
    IModemSender& modem_;
    IClock& clock_;
    const IEngineSettings& settings_;
    EngineEventHandler events_;
    TaskDriver* driver_ = nullptr;
    IRecordSink* sink_ = nullptr;

    TTaskKind kind_ = TTaskKind::Download;
    bool running_ = false;
    // The progress shown: a bar that wraps past its maximum.
    int progress_ = 0, progressMax_ = 100;
    EngineEvent::Phase phase_ = EngineEvent::Phase::None;
    bool powerSent_ = false;
    bool statusClockValid_ = true;
    uint32_t lastByteMs_ = 0; // tick count when the last byte was read
    uint32_t sentMs_ = 0;     // when the last request went out
    bool awaitingFirstByte_ = false;
    double replyLatencyMs_ = -1; // from a request to the first byte of its reply, smoothed
    std::array<uint8_t, kReceptionBufferSize> buffer_{};
    std::vector<uint8_t> merged_;      // the current block, record by record, from all its tries
    std::vector<uint8_t> mergedValid_; // per record of the block: a good copy is in merged_
    TDateTime taskStart_ = 0;

    // The download turn of the current logger.
    BlockKind blockKind_ = BlockKind::Forward;
    TDateTime windowBegin_ = 0, windowFinish_ = 0;
    bool beginExclusive_ = false; // "только новые": only what is newer than the newest kept record
    bool timeFilter_ = true;      // false: every record the status reports, whatever its time
    int periodHours_ = 1;
    int maxBatch_ = 1;                        // records of the plan's blocks: the block size setting
    int airBatch_ = 1;                        // records one request asks for at most, as the link allows
    int minBatch_ = 1;                        // the smallest block size's records
    int cutRun_ = 0;                          // replies in a row whose tail was lost
    int forwardStart_ = 0, forwardCount_ = 0; // the forward block last asked for
    int oldestAsked_ = 0;                     // offset of the oldest memory position asked for
    int progressBlocks_ = 0;
    std::set<std::vector<uint8_t>> heldRaw_; // every good record of the turn, once
    std::optional<HeldRecord> oldest_, newest_;
    TDateTime oldestNext_ = 0, newestPrev_ = 0; // their neighbours' times, for the spacing
    bool haveOldestNext_ = false, haveNewestPrev_ = false;
    bool newestIsBlockEnd_ = false; // the last forward block's newest position came good
    Positions pending_;             // a forward block waiting for the probe of its boundary
    std::vector<HeldRecord> probeFound_;
    int probeOffset_ = 0, probeTries_ = 0;
    bool gap_ = false; // records missing that no request could find
    int keptInTable_ = 0;
    int staleReplies_ = 0; // replies to this block request that held nothing new

    int clockTries_ = 0;
    bool turnClockValid_ = false; // this download turn's status clock, against the computer's
    long long turnDeviation_ = 0;
    bool turnClockSet_ = false;  // this turn's clock setting was tried already
    std::set<int> clockSetRows_; // set in this task and acknowledged, not yet confirmed
    std::set<int> eraseKept_;    // the user kept their memory: not asked again in this task

    // The block asked for, record by record (index 0 its oldest, at blockStart_ + blockCount_ - 1),
    // and the part of it the request on the air covers.
    int blockStart_ = 0, blockCount_ = 0, partFirst_ = 0;
    std::vector<uint8_t> tries_; // per record: replies that asked for it and did not bring it
    // Reception of one block reply.
    std::vector<uint8_t> packet_;
    std::vector<uint8_t> have_; // per byte of ReplyData: it came in an intact packet
    bool baseKnown_ = false;
    uint8_t baseSequence_ = 0; // the text packet's
    int lastPacket_ = -1;      // the highest packet number taken
    bool textIntact_ = false;
    bool allFull_ = true;   // every data packet so far carried a whole packet's payload
    bool flawed_ = false;   // a packet was damaged, missing or out of place
    bool overlong_ = false; // data beyond what was asked: not this request's reply
    bool framingLost_ = false;
    size_t dataBytes_ = 0;
    // A packet after a gap is placed by its sequence number only once the next one follows it:
    // a damaged sequence byte would put it somewhere else.
    std::vector<uint8_t> unconfirmed_;
    int unconfirmedNumber_ = -1;
    bool leftoverDropped_ = false;
};

// Frequency of a channel in MHz, rounded to 100 kHz (channel 20 → 434).
double ChannelFrequency(int channel);

// Texts of the channel task's result.
namespace channeltext {
inline constexpr const char* kSuccess =
    "Изменение частотного канала проведено успешно.\r\nВнесите изменения в файл конфигурации";
inline constexpr const char* kOpenFailed = "Не удалось открыть файл ";
inline constexpr const char* kCritical =
    "Критическая ошибка!\r\nНе все логгеры изменили частотный "
    "канал.\r\nРекомендуется изменить местоположение и повторить попытку";
} // namespace channeltext
