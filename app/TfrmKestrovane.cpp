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

constexpr int kPanelFileHeight = 33;
constexpr int kPanelControlWidth = 141;
// The command switches and their fields; 19 px keep the column within the smallest window.
constexpr int kSwitchHeight = 19;
// Column markers of the list, from its left edge; the headings of the top bar stand 5 px right of them.
constexpr int kMarkerX[6] = {249, 299, 349, 399, 449, 549};
// Sound files larger than this are not notice sounds; reading one would only waste memory.
constexpr uint64_t kMaxSoundBytes = 16 * 1024 * 1024;
// The engine's words for the archive's count in panel 1; the window shows the count fresh.
constexpr const char* kUnarchivedLabel = " Не в архиве: ";

QString firstLine(const QString& hint) {
    return hint.section('\n', 0, 0);
}

void describe(QWidget* w, const QString& name, const QString& hint, const QString& accessible = {}) {
    w->setObjectName(name);
    if (!hint.isEmpty())
        w->setToolTip(hint);
    w->setAccessibleName(!accessible.isEmpty() ? accessible : firstLine(hint));
    if (!hint.isEmpty())
        w->setAccessibleDescription(hint);
}

QLabel* plainLabel(QWidget* parent, const QString& text, int x, int y, int w, int h,
                   Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    l->setAlignment(align);
    return l;
}

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
      modem(PortDrv, clock), engine(table, PortDrv, modem, clock, *this), visit(clock), clock_(clock),
      messages_(this) {
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

    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    PanelFile = new QWidget(central);
    PanelFile->setObjectName("PanelFile");
    PanelFile->setFixedHeight(kPanelFileHeight);
    outer->addWidget(PanelFile);
    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    PanelControl = new QWidget(central);
    PanelControl->setObjectName("PanelControl");
    PanelControl->setFixedWidth(kPanelControlWidth);
    body->addWidget(PanelControl);
    ScrollBoxDevList = new QScrollArea(central);
    ScrollBoxDevList->setObjectName("ScrollBoxDevList");
    body->addWidget(ScrollBoxDevList, 1);
    outer->addLayout(body, 1);
    setCentralWidget(central);

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName("StatusBar");
    StatusPanel0 = new QLabel("Нет подключения", StatusBar);
    StatusPanel0->setObjectName("StatusBarPanel0");
    StatusPanel0->setFixedWidth(142);
    StatusPanel1 = new QLabel(StatusBar);
    StatusPanel1->setObjectName("StatusBarPanel1");
    StatusBar->addWidget(StatusPanel0);
    StatusBar->addWidget(StatusPanel1, 1);
    setStatusBar(StatusBar);

    // Frames look raised in most styles; the top bar and the command column are set apart like panels.
    for (QWidget* p : {PanelFile, PanelControl}) {
        p->setAutoFillBackground(true);
    }

    buildPanelFile();
    buildPanelControl();
    buildDevList();
    buildNonVisual();
    buildVisitMenu();

    FormCreate();
}

TfrmKestrovane::~TfrmKestrovane() {
    // The rows go before the window's widgets they live in.
    table.setRowNotifications(nullptr);
    list_.reset();
}

void TfrmKestrovane::buildPanelFile() {
    QWidget* p = PanelFile;
    auto button = [&](const char* name, ButtonKind kind, int x, const QString& hint) {
        auto* b = new TImageButton(p);
        describe(b, name, hint);
        b->setPicture(buttonPicture(kind));
        b->setGeometry(x, 0, 32, 32);
        return b;
    };
    ImageOpenCFG = button("ImageOpenCFG", ButtonKind::OpenCfg, 4,
                          "Начните работу с нажатия этой кнопки!\nЗагрузить файл конфигурации");
    ImageOpenCFG->setCursor(Qt::PointingHandCursor);
    ImageSaveORX = button("ImageSaveORX", ButtonKind::SaveOrx, 40, "Сохранить собранные данные");

    const QString ormixHint = "Запустить Ormix после\nсохранения данных";
    CheckBoxRunOrmix = new QCheckBox(p);
    describe(CheckBoxRunOrmix, "CheckBoxRunOrmix", ormixHint);
    CheckBoxRunOrmix->setChecked(true);
    CheckBoxRunOrmix->setGeometry(80, 8, 18, 18);
    ImageRunOrmix = button("ImageRunOrmix", ButtonKind::RunOrmix, 98, ormixHint);

    ImageSound = new TImageButton(p);
    describe(ImageSound, "ImageSound", "Звуковое оповещение\n(выкл/звуковая карта/системный динамик)");
    ImageSound->setGeometry(138, 0, 32, 32);
    ImageHelp = button("ImageHelp", ButtonKind::Help, 174, "О программе");

    LabelExecution = new QLabel("Execution", p);
    describe(LabelExecution, "LabelExecution", {}, "Ход выполнения");
    LabelExecution->setGeometry(214, 1, 170, 15);
    ProgrBarExecution = new QProgressBar(p);
    describe(ProgrBarExecution, "ProgrBarExecution", {}, "Выполнение задачи");
    ProgrBarExecution->setGeometry(214, 17, 170, 13);
    ProgrBarExecution->setTextVisible(false);
    ProgrBarExecution->setRange(0, 100);
    ProgrBarExecution->setValue(0);
    ProgrBarExecution->hide();

    const int listLeft = kPanelControlWidth;
    Label15 =
        plainLabel(p, "Текущее состояние выбранной группы логгеров", listLeft + kMarkerX[0] + 5, 1, 360, 15);
    describe(Label15, "Label15", {}, Label15->text());
    QFont small = p->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    struct Heading {
        QLabel** field;
        const char* name;
        const char* text;
        const char* hint;
        int x, w;
    };
    const Heading headings[] = {
        {&Label14, "Label14", "SN тк", "Серийный номер термокосы", 254, 48},
        {&Label8, "Label8", "дат", "Количество датчиков в термокосе", 304, 48},
        {&Label9, "Label9", "период", "Период измерений, часов", 354, 48},
        {&Label10, "Label10", "замеров", "Количество сохраненных измерений", 404, 48},
        {&Label11, "Label11", "внутреннее время", "Показания внутренних\nчасов логгера", 454, 98},
        {&Label3, "Label3", "комментарии", "Коментарии из файла конфигурации", 554, 100},
    };
    for (const Heading& h : headings) {
        auto* l = plainLabel(p, h.text, listLeft + h.x, 16, h.w, 16);
        l->setFont(small);
        describe(l, h.name, h.hint, h.text);
        *h.field = l;
    }
    // The lights have no heading of their own: the heading over the list tells them.
    Label15->setToolTip(TfrmAbout::lightsLegend());

    // The values read at a glance stand after the comments; the list says where once it has rows.
    const struct {
        const char* name;
        const char* text;
        const char* hint;
    } glance[] = {
        {"LabelGlanceBattery", "батарея", "Напряжение батареи логгера, В"},
        {"LabelGlanceLevel", "сигнал", "Уровень сигнала логгера при последнем ответе, дБм"},
        {"LabelGlanceClock", "часы",
         "На сколько часы логгера спешат (+) или отстают (−)\nот часов компьютера"},
    };
    for (size_t g = 0; g < GlanceHeadings.size(); ++g) {
        auto* l = plainLabel(p, glance[g].text, 0, 16, 56, 16);
        l->setFont(small);
        describe(l, glance[g].name, QString::fromUtf8(glance[g].hint), glance[g].text);
        l->hide();
        GlanceHeadings[g] = l;
    }
}

void TfrmKestrovane::buildPanelControl() {
    QWidget* p = PanelControl;
    auto spin = [&](const char* name, const QString& hint, double min, double max, double value) {
        auto* s = new TNumSpinEdit(p);
        describe(s, name, hint);
        s->editor()->setAccessibleName(firstLine(hint));
        s->setDecimals(0);
        s->setIncrement(1);
        s->setMinimum(min);
        s->setMaximum(max);
        s->setValue(value);
        return s;
    };
    auto onOff = [&](const char* name, const char* caption, const QString& hint, int x, int y) {
        auto* s = new TOnOffSwitch(caption, p);
        describe(s, name, hint, caption);
        // Two pixels from the column's edge: a caption never touches it.
        s->setGeometry(x, y, std::min(s->sizeHint().width(), kPanelControlWidth - 2 - x), kSwitchHeight);
        return s;
    };

    plainLabel(p, "порт", 3, 2, 25, 22);
    SpinPortNum = spin("SpinPortNum", "Начинать поиск модема\nс указанного порта", 2, 255, 6);
    SpinPortNum->setGeometry(30, 2, 36, 22);
    SwitchConnect = onOff("SwitchConnect", "модем", "Начать поиск модема", 68, 3);

    plainLabel(p, "настройки", 0, 28, kPanelControlWidth, 14, Qt::AlignCenter);
    plainLabel(p, "канал", 4, 44, 34, 22);
    SpinModChannel = spin("SpinModChannel", "Номер частотного канала модема", 0, 200, 0);
    SpinModChannel->setGeometry(40, 44, 50, 22);
    LabelModFreq = plainLabel(p, QString(), 38, 67, 64, 14);
    describe(LabelModFreq, "LabelModFreq", {}, "Частота канала модема");
    LabelModFreq->setStyleSheet("color: red;");
    ImageRunAnalyzer = new TImageButton(p);
    describe(ImageRunAnalyzer, "ImageRunAnalyzer", "Анализ шума\n(двойной клик по графику - автосдвиг)");
    ImageRunAnalyzer->setPicture(buttonPicture(ButtonKind::RunAnalyzer));
    ImageRunAnalyzer->setGeometry(104, 44, 32, 32);

    auto picker = [&](const char* name, const char* label, int y, QCheckBox*& check) {
        plainLabel(p, label, 4, y, 134, 14);
        check = new QCheckBox(p);
        check->setObjectName(QString(name) + "Check");
        check->setAccessibleName(label);
        check->setGeometry(4, y + 16, 16, 18);
        auto* e = new QDateTimeEdit(p);
        describe(e, name, {}, label);
        e->setTimeSpec(Qt::UTC);
        e->setDisplayFormat("dd.MM.yy  HH:mm");
        e->setMinimumDate(QDate(2013, 1, 1));
        e->setCalendarPopup(true);
        e->setGeometry(21, y + 14, 117, 21);
        // The close-up handlers run when the calendar drop-down goes away, whatever closed it.
        e->calendarWidget()->window()->installEventFilter(this);
        return e;
    };
    DateTimeBegin = picker("DateTimeBegin", "начать с даты", 82, DateTimeBeginCheck);
    DateTimeFinish = picker("DateTimeFinish", "завершить по дату", 134, DateTimeFinishCheck);
    const QString finishHint = "Отмечено: загружать измерения по дату, выбранную справа.\n"
                               "Не отмечено: по момент запуска загрузки.";
    DateTimeFinishCheck->setToolTip(finishHint);
    DateTimeFinish->setToolTip(finishHint);
    // Under the begin date it belongs to, in the column's normal font.
    CheckBoxOnlyNew = new QCheckBox("только новые", p);
    describe(CheckBoxOnlyNew, "CheckBoxOnlyNew", "Загружать только измерения, которых ещё нет в архиве");
    CheckBoxOnlyNew->setGeometry(3, 117, kPanelControlWidth - 5, 17);

    plainLabel(p, "пакет", 4, 170, 50, 14);
    const QString blockHint = "Размер пакета данных:\n4kB = быстрая загрузка, низкая помехоустойчивость\n"
                              "512 = медленная загрузка, высокая помехоустойчивость";
    TrackBarDataBlockSize = new QSlider(Qt::Vertical, p);
    describe(TrackBarDataBlockSize, "TrackBarDataBlockSize", blockHint);
    TrackBarDataBlockSize->setRange(0, 3);
    TrackBarDataBlockSize->setPageStep(1);
    TrackBarDataBlockSize->setInvertedAppearance(true); // position 0 (4kB) at the top
    TrackBarDataBlockSize->setInvertedControls(true);
    TrackBarDataBlockSize->setTickPosition(QSlider::TicksRight);
    TrackBarDataBlockSize->setTickInterval(1);
    TrackBarDataBlockSize->setValue(1);
    TrackBarDataBlockSize->setGeometry(0, 188, 20, 72);
    QFont small = p->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    const char* stops[] = {"4kB", "2kB", "1kB", "512"};
    for (int i = 0; i < 4; ++i)
        plainLabel(p, stops[i], 20, 188 + i * 18, 24, 16)->setFont(small);

    plainLabel(p, "стратегия", 62, 170, 78, 14, Qt::AlignCenter);
    const char* rows[] = {"+10", "0", "-10"};
    for (int i = 0; i < 3; ++i)
        plainLabel(p, rows[i], 44, 209 + i * 17, 22, 17, Qt::AlignRight | Qt::AlignVCenter)->setFont(small);
    TRadioGroup** groups[] = {&RadioGrPower1, &RadioGrPower2, &RadioGrPower3};
    QCheckBox** checks[] = {&CheckBoxAttempt1, &CheckBoxAttempt2, &CheckBoxAttempt3};
    for (int i = 0; i < 3; ++i) {
        const QString n = QString::number(i + 1);
        auto* g = new TRadioGroup(" " + n + " ", 3, p);
        describe(g, "RadioGrPower" + n,
                 "Попытка " + n + "\nСтратегия поиска логгеров\n(мощность передатчика, дБм)");
        g->setGeometry(67 + i * 23, 192, 23, 68);
        *groups[i] = g;
        auto* c = new QCheckBox(p);
        describe(c, "CheckBoxAttempt" + n, "Стратегия поиска логгеров\n(попытки)",
                 "Стратегия поиска логгеров, попытка " + n);
        c->setGeometry(71 + i * 23, 260, 18, 17);
        *checks[i] = c;
    }
    RadioGrPower3->setEnabled(false);
    CheckBoxAttempt1->setChecked(true);
    CheckBoxAttempt2->setChecked(true);
    ImageArrowAttemptPtr = new TImageButton(p);
    describe(ImageArrowAttemptPtr, "ImageArrowAttemptPtr", {}, "Текущая попытка");
    ImageArrowAttemptPtr->setPicture(arrowDown());
    ImageArrowAttemptPtr->setGeometry(72, 182, 16, 12);
    ImageArrowAttemptPtr->hide();

    Label13 = new TImageButton(p);
    Label13->setText("команды");
    describe(Label13, "Label13", {}, "команды");
    Label13->setGeometry(0, 277, kPanelControlWidth, 13);

    SwitchDownload = onOff("SwitchDownload", "данные", "Загрузить измерения\nза указанный период", 4, 290);
    SwitchTime = onOff("SwitchTime", "время", "Установить внутреннее\nвремя логгеров", 4, 309);
    SwitchMeas = onOff("SwitchMeas", "замер", "Провести принудительное\n(тестовое) измерение", 4, 328);
    SwitchErase = onOff("SwitchErase", "стереть", "Стереть все измерения\nиз памяти логгеров", 4, 347);
    SwitchPeriod = onOff("SwitchPeriod", "период", "Установить период\nизмерений логгеров", 4, 366);
    SwitchChannel = onOff("SwitchChannel", "канал", "Установить частотный\nканал логгеров", 4, 385);
    SpinLogPeriod = spin("SpinLogPeriod", "Период измерений логгеров", 1, 99, 3);
    SpinLogPeriod->setGeometry(84, 366, 52, kSwitchHeight);
    SpinLogChannel = spin("SpinLogChannel", "Номер частотного канала логгеров", 0, 200, 0);
    SpinLogChannel->setGeometry(84, 385, 52, kSwitchHeight);
    // Right-aligned under its field: a longer text grows to the left, never over the edge.
    LabelLogFreq = plainLabel(p, QString(), 66, 404, 70, 14, Qt::AlignRight | Qt::AlignVCenter);
    describe(LabelLogFreq, "LabelLogFreq", {}, "Частота канала логгеров");
    LabelLogFreq->setStyleSheet("color: red;");

    const auto bindSwitch = [this](TOnOffSwitch* sw, void (TfrmKestrovane::*on)(),
                                   void (TfrmKestrovane::*off)()) {
        sw->setOnHandler(std::bind_front(on, this));
        sw->setOffHandler(std::bind_front(off, this));
    };
    bindSwitch(SwitchConnect, &TfrmKestrovane::SwitchConnectOn, &TfrmKestrovane::SwitchConnectOff);
    bindSwitch(SwitchDownload, &TfrmKestrovane::SwitchDownloadOn, &TfrmKestrovane::SwitchDownloadOff);
    bindSwitch(SwitchTime, &TfrmKestrovane::SwitchTimeOn, &TfrmKestrovane::SwitchTimeOff);
    bindSwitch(SwitchErase, &TfrmKestrovane::SwitchEraseOn, &TfrmKestrovane::SwitchEraseOff);
    bindSwitch(SwitchPeriod, &TfrmKestrovane::SwitchPeriodOn, &TfrmKestrovane::SwitchPeriodOff);
    bindSwitch(SwitchMeas, &TfrmKestrovane::SwitchMeasOn, &TfrmKestrovane::SwitchMeasOff);
    bindSwitch(SwitchChannel, &TfrmKestrovane::SwitchChannelOn, &TfrmKestrovane::SwitchChannelOff);
    SpinModChannel->setOnChange([this] { SpinModChannelChange(); });
    SpinLogChannel->setOnChange([this] { SpinLogChannelChange(); });
    connect(ImageOpenCFG, &TImageButton::clicked, this, &TfrmKestrovane::ImageOpenCFGClick);
    connect(ImageSaveORX, &TImageButton::clicked, this, &TfrmKestrovane::ImageSaveORXClick);
    connect(ImageSound, &TImageButton::clicked, this, &TfrmKestrovane::ImageSoundClick);
    connect(ImageRunOrmix, &TImageButton::clicked, this, &TfrmKestrovane::ImageRunOrmixClick);
    connect(ImageArrowAttemptPtr, &TImageButton::clicked, this, &TfrmKestrovane::ImageRunOrmixClick);
    connect(ImageHelp, &TImageButton::clicked, this, &TfrmKestrovane::ImageHelpClick);
    connect(ImageRunAnalyzer, &TImageButton::clicked, this, &TfrmKestrovane::ImageRunAnalyzerClick);
    connect(Label13, &TImageButton::clicked, this, &TfrmKestrovane::Label13Click);
    connect(CheckBoxAttempt1, &QCheckBox::clicked, this, &TfrmKestrovane::CheckBoxAttempt1Click);
    connect(CheckBoxAttempt2, &QCheckBox::clicked, this, &TfrmKestrovane::CheckBoxAttempt2Click);
    connect(CheckBoxAttempt3, &QCheckBox::clicked, this, &TfrmKestrovane::CheckBoxAttempt3Click);
}

void TfrmKestrovane::buildDevList() {
    ScrollBoxDevList->setFrameShape(QFrame::NoFrame);
    ScrollBoxDevList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBoxDevList->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ScrollBoxDevList->setWidgetResizable(false);
    DevListContent = new QWidget;
    DevListContent->setObjectName("DevListContent");
    DevListContent->resize(800 - kPanelControlWidth, 4);
    ScrollBoxDevList->setWidget(DevListContent);

    QFrame** bevels[] = {&BevelSN, &BevelD, &BevelP, &BevelM, &BevelT, &BevelC};
    const char* names[] = {"BevelSN", "BevelD", "BevelP", "BevelM", "BevelT", "BevelC"};
    for (int i = 0; i < 6; ++i) {
        auto* b = new QFrame(DevListContent);
        b->setObjectName(names[i]);
        b->setFrameShape(QFrame::VLine);
        b->setFrameShadow(QFrame::Sunken);
        b->setGeometry(kMarkerX[i], 0, 3, 0);
        *bevels[i] = b;
    }
    ImageArrowDevPtr = new TImageButton(DevListContent);
    describe(ImageArrowDevPtr, "ImageArrowDevPtr", {}, "Текущий логгер");
    ImageArrowDevPtr->setPicture(arrowRight());
    ImageArrowDevPtr->setGeometry(0, 4, 12, 16);
    ImageArrowDevPtr->hide();
    connect(ImageArrowDevPtr, &TImageButton::clicked, this, &TfrmKestrovane::ImageRunOrmixClick);

    list_ = std::make_unique<LoggerListView>(
        ScrollBoxDevList, DevListContent,
        std::array<QFrame*, 6>{BevelSN, BevelD, BevelP, BevelM, BevelT, BevelC}, ImageArrowDevPtr,
        ImageArrowAttemptPtr, [this](const QString& t) { setStatusPanel1(t.toStdString()); }, clock_);
    table.setRowNotifications(list_.get());
    list_->setGlanceMoved([this](int x) {
        for (size_t g = 0; g < GlanceHeadings.size(); ++g) {
            GlanceHeadings[g]->move(kPanelControlWidth + x + LoggerListView::kGlanceOffsets[g], 16);
            GlanceHeadings[g]->setVisible(x >= 0);
        }
    });
}

void TfrmKestrovane::buildNonVisual() {
    auto timer = [&](const char* name, int interval) {
        auto* t = new QTimer(this);
        t->setObjectName(name);
        t->setInterval(interval);
        return t;
    };
    TimerReadStream = timer("TimerReadStream", 50);
    // The quiet line is a whole tick since the last byte: a coarse timer firing early would
    // make every judgement wait a tick more.
    TimerReadStream->setTimerType(Qt::PreciseTimer);
    ArrivalPoll = timer("ArrivalPoll", 2);
    connect(ArrivalPoll, &QTimer::timeout, this, &TfrmKestrovane::bytesArrived);
    TimerSkipDev = timer("TimerSkipDev", 64000);
    TimerFinishedSound = timer("TimerFinishedSound", 1000);
    connect(TimerReadStream, &QTimer::timeout, this, &TfrmKestrovane::TimerReadStreamTimer);
    connect(TimerSkipDev, &QTimer::timeout, this, &TfrmKestrovane::TimerSkipDevTimer);
    TimerArchiveRetry = timer("TimerArchiveRetry", 500);
    connect(TimerArchiveRetry, &QTimer::timeout, this, &TfrmKestrovane::TimerArchiveRetryTimer);
    connect(TimerFinishedSound, &QTimer::timeout, this, [this] {
        if (!engineBusy())
            TimerFinishedSoundTimer();
    });

    auto dialog = [&](const char* name, const QStringList& filters) {
        auto* d = new QFileDialog(this);
        d->setObjectName(name);
        d->setOption(QFileDialog::DontUseNativeDialog);
        d->setNameFilters(filters);
        return d;
    };
    OpenDialogCfg = dialog("OpenDialogCfg", {"*.cfg (*.cfg)", "Все файлы (*)"});
    OpenDialogCfg->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialogCfg->setFileMode(QFileDialog::ExistingFile);
    // The reader takes ".cfg" in any case, so the filter shows every case too.
    OpenDialogCfg->setFilter(OpenDialogCfg->filter() & ~QDir::CaseSensitive);
    SaveDialogORX = dialog("SaveDialogORX", {"*.orx (*.orx)", "Все файлы (*)"});
    SaveDialogORX->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialogORX->setFileMode(QFileDialog::AnyFile);
    // The program asks its own question about replacing a file, after putting on the ".orx".
    SaveDialogORX->setOption(QFileDialog::DontConfirmOverwrite);
    SaveDialogORX->setSizeGripEnabled(true);

    for (int k = 0; k < kBatteryPictureCount; ++k)
        ImageListBat.append(batteryPicture(k));
    ImageListAnt.append(antennaScale());
    for (int m = 0; m < kSoundPictureCount; ++m)
        ImageListSound.append(soundPicture(m));
}

void TfrmKestrovane::FormCreate() {
    PortDrv.setHwFlow(hfNONE);
    PortDrv.setSwFlow(sfNONE);
    PortDrv.setEnableDTROnOpen(false);
    PortDrv.setCheckLineStatus(false);
    PortDrv.setStopBits(sb1BITS);
    PortDrv.setDataBits(db8BITS);
    PortDrv.setParity(ptNONE);
    PortDrv.setOutputTimeout(50);
    PortDrv.setInputTimeout(50);
    PortDrv.setPollingDelay(60000);
    PortDrv.setBaudRateValue(57600);
    if (PortDrv.PollingActive())
        PortDrv.SuspendPolling();

    TimerSkipDev->setInterval(26000);

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

void TfrmKestrovane::loadSounds() {
    const QString folder = QString::fromStdString(Locations.soundDir);
    // Only a regular file is read: a pipe would hang the start, a link to a device read forever.
    auto load = [&](const char* name) {
        std::string data;
        if (fileio::readWholeFile((folder + name).toStdString(), data, kMaxSoundBytes) !=
            fileio::ReadStatus::Ok)
            return QByteArray();
        return QByteArray(data.data(), static_cast<qsizetype>(data.size()));
    };
    soundCompleted = load("/Completed.wav");
    soundMissed = load("/Missed.wav");
    soundFinished = load("/Finished.wav");
}

void TfrmKestrovane::showSoundPicture() {
    // A mode read from the file outside the list shows no picture (and plays nothing).
    ImageSound->setPicture(SoundMode >= 0 && SoundMode < ImageListSound.size() ? ImageListSound[SoundMode]
                                                                               : QPixmap());
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
        sendChannelCommand(std::clamp(SpinModChannel->valueInRange(), 0, 255));
}

void TfrmKestrovane::SpinLogChannelChange() {
    LabelLogFreq->setText(channelLabelText(SpinLogChannel));
}

void TfrmKestrovane::ImageSoundClick() {
    if (soundOutput_)
        SoundMode = SoundNotices(*soundOutput_).click(SoundMode, soundCompleted);
    else
        SoundMode = SoundMode >= 2 ? 0 : SoundMode + 1;
    ImageSound->clear();
    showSoundPicture();
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

void TfrmKestrovane::TimerFinishedSoundTimer() {
    TimerFinishedSound->stop();
    playFinished();
}

// IEngineHost: the controls as the engine reads them.

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
    return std::clamp(SpinModChannel->valueUsed(), 0, 255);
}

int TfrmKestrovane::loggerChannel() const {
    return std::clamp(SpinLogChannel->valueUsed(), 0, 255);
}

int TfrmKestrovane::loggerPeriod() const {
    return SpinLogPeriod->valueUsed();
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

bool TfrmKestrovane::taskRunning() const {
    return !ProgrBarExecution->isHidden();
}

void TfrmKestrovane::setProgressShown(bool shown) {
    ProgrBarExecution->setVisible(shown);
}

void TfrmKestrovane::setProgressMax(int max) {
    ProgrBarExecution->setMaximum(std::max(max, 0));
}

void TfrmKestrovane::setProgressPosition(int position) {
    ProgrBarExecution->setValue(position);
}

void TfrmKestrovane::advanceProgress() {
    // Like a Windows progress bar, stepping past the end wraps to the start.
    const int next = ProgrBarExecution->value() + 1;
    ProgrBarExecution->setValue(next > ProgrBarExecution->maximum() ? ProgrBarExecution->minimum() : next);
}

void TfrmKestrovane::setExecutionLabel(const std::string& text) {
    LabelExecution->setText(QString::fromStdString(text));
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

void TfrmKestrovane::showPointers() {
    ImageArrowDevPtr->show();
    ImageArrowAttemptPtr->show();
}

void TfrmKestrovane::moveAttemptPointer(int left) {
    ImageArrowAttemptPtr->move(left, ImageArrowAttemptPtr->y());
}

void TfrmKestrovane::moveDevicePointer(int top) {
    // The list is the user's to scroll; the arrow may stand out of sight.
    ImageArrowDevPtr->move(ImageArrowDevPtr->x(), top);
}

void TfrmKestrovane::setModemChannelEnabled(bool enabled) {
    SpinModChannel->setEnabled(enabled);
}

void TfrmKestrovane::switchTasksOff() {
    for (TOnOffSwitch* s : {SwitchDownload, SwitchTime, SwitchErase, SwitchPeriod, SwitchMeas, SwitchChannel})
        s->setOn(false);
}

bool TfrmKestrovane::connectSwitchOn() const {
    return SwitchConnect->isOn();
}

void TfrmKestrovane::setReadStreamTimer(bool on) {
    if (on)
        TimerReadStream->start();
    else
        TimerReadStream->stop();
    armArrivalReads(on);
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
    engine.ReadArrived();
    ModemLost();
}

int TfrmKestrovane::readStreamInterval() const {
    return TimerReadStream->interval();
}

void TfrmKestrovane::restartSkipDevTimer() {
    TimerSkipDev->stop();
    TimerSkipDev->start();
}

void TfrmKestrovane::stopSkipDevTimer() {
    TimerSkipDev->stop();
}

void TfrmKestrovane::startFinishedSoundTimer() {
    TimerFinishedSound->start();
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

void TfrmKestrovane::rowShowState(int row, int code) {
    visit.state(row, code, table);
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
        if (engine.LastCommand.size() > at)
            list_->setValueText(row, LoggerListView::kPeriodColumn,
                                QString::number(static_cast<uint8_t>(engine.LastCommand[at])));
    }
}

void TfrmKestrovane::rowShowLink(int row, double levelDbm, int barWidth) {
    list_->showLink(row, levelDbm, barWidth);
    visit.link(row, levelDbm);
    showVisitWarnings(row);
}

void TfrmKestrovane::rowShowStatus(int row, const LoggerTable& t) {
    list_->showStatus(row, t);
    visit.status(row, t, engine.statusClockValid());
}

void TfrmKestrovane::rowShowClockText(int row, const std::string& text) {
    list_->showClockText(row, QString::fromStdString(text));
}

void TfrmKestrovane::rowShowRawClock(int row, const std::string& text) {
    list_->showRawClock(row, QString::fromStdString(text));
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

void TfrmKestrovane::sendChannelCommand(int channel) {
    modem.SendToModem(true, std::string("#C") + static_cast<char>(static_cast<uint8_t>(channel)));
}

bool TfrmKestrovane::analyzerShowing() const {
    return analyzer_ && analyzer_->isVisible();
}

void TfrmKestrovane::playNotice(Notice notice, const QByteArray& wav) {
    if (soundOutput_)
        SoundNotices(*soundOutput_).play(notice, SoundMode, wav);
}
void TfrmKestrovane::playCompleted() {
    playNotice(Notice::Completed, soundCompleted);
}
void TfrmKestrovane::playMissed() {
    playNotice(Notice::Missed, soundMissed);
}
void TfrmKestrovane::playFinished() {
    playNotice(Notice::Finished, soundFinished);
}
void TfrmKestrovane::analyzerStopReading() {
    if (analyzer_)
        analyzer_->stopReading();
}
void TfrmKestrovane::analyzerStart() {
    if (analyzer_)
        analyzer_->FormShow();
}
void TfrmKestrovane::analyzerAddRssi(TDateTime t, double level) {
    if (analyzer_)
        analyzer_->addRssiPoint(t, level);
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
    return SpinPortNum->valueUsed();
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
        visitTaskStarted(kind);
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
    visit.taskEnded();
    // The engine ends a task it has run through with every attempt done; any other end is a stop.
    const bool stopped = engine.AttemptIndex < 3;
    QString detail;
    lastSummary_ =
        tasktext::summary(table, tickedLoggers(), engine.kind(), stopped, continued, &detail).toStdString();
    setStatusPanel1(lastSummary_);
    StatusPanel1->setToolTip(detail);
    if (!stopped)
        QApplication::alert(this);
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
    engine.TimerReadStreamTimer();
    if (!ModemLost() && TimerReadStream->isActive())
        armArrivalReads(true);
}

void TfrmKestrovane::TimerSkipDevTimer() {
    if (engineBusy())
        return;
    engine.TimerSkipDevTimer();
    ModemLost();
}
