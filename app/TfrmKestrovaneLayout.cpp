// The designed controls of the main window: the regions, the top bar, the command column, the
// list's frame and the non-visual members, each under its given object name.
#include "app/TImageButton.h"
#include "app/TRadioGroup.h"
#include "app/TfrmKestrovane.h"
#include "ui/LoggerListView.h"
#include "ui/Pictures.h"
#include "ui/TfrmAbout.h"
#include "widgets/TNumSpinEdit.h"
#include "widgets/TOnOffSwitch.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollArea>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

namespace {

constexpr int kPanelFileHeight = 33;
constexpr int kPanelControlWidth = 141;
// The command switches and their fields; 19 px keep the column within the smallest window.
constexpr int kSwitchHeight = 19;
// Column markers of the list, from its left edge; the headings of the top bar stand 5 px right of them.
constexpr int kMarkerX[6] = {249, 299, 349, 399, 449, 549};

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

} // namespace

void TfrmKestrovane::buildRegions() {
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
                              "512 = медленная загрузка, высокая помехоустойчивость\n"
                              "Это наибольший блок запроса: после двух ответов подряд, оборванных "
                              "на середине, запрос уменьшается вдвое (до 512), каждый целый ответ "
                              "удваивает его снова";
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
    SpinClockAllowance = spin("SpinClockAllowance",
                              "Допуск часов, с\nЧасы, которые спешат или отстают не больше, остаются "
                              "как есть;\nустановленные часы проверяются ещё раз.\n0 — установить часы "
                              "всех отмеченных логгеров",
                              0, 3600, 0);
    SpinClockAllowance->setGeometry(84, 309, 52, kSwitchHeight);
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
    TimerReadStream = timer("TimerReadStream", TaskDriver::kTickMs);
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
