#include "ormix/TfrmOrmix.h"

#include "files/FileIo.h"
#include "ormix/OrmixText.h"
#include "ormix/TDepthTimeView.h"
#include "ormix/TOrxRecordModel.h"
#include "orxparse/OrxCsv.h"
#include "orxparse/OrxLoader.h"
#include "platform/Clock.h"
#include "widgets/TXYPlot.h"
#ifdef KV_WITH_ARCHIVE
#include "files/Cp1251.h"
#include "ormix/ArchiveHistory.h"
#include "ormix/ArchivePath.h"
#include "ormix/TfrmArchiveLoggers.h"
#ifdef KV_HAVE_CENTRAL
#include "central/CentralArchive.h"
#include <QInputDialog>
#endif
#endif

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kRoleFile = Qt::UserRole;
constexpr int kRoleLogger = Qt::UserRole + 1;

QString loadError(orx::LoadStatus status, const QString& path) {
    switch (status) {
    case orx::LoadStatus::NotRegular:
        return QStringLiteral("Не удалось открыть файл ") + path + QStringLiteral("\r\nЭто не обычный файл.");
    case orx::LoadStatus::TooLarge:
        return QStringLiteral("Файл ") + path + QStringLiteral(" слишком велик (больше 1 ГБ)");
    case orx::LoadStatus::ReadError:
        return QStringLiteral("Ошибка чтения файла ") + path +
               QStringLiteral("\r\nПоказано прочитанное до ошибки.");
    case orx::LoadStatus::CannotOpen:
    case orx::LoadStatus::Ok:
        break;
    }
    return QStringLiteral("Не удалось открыть файл ") + path;
}

} // namespace

TfrmOrmix::TfrmOrmix(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmOrmix"));
    setWindowTitle(QStringLiteral("Ormix"));
    setAcceptDrops(true);
    buildUi();
    resize(1100, 720);
}

TfrmOrmix::~TfrmOrmix() = default;

QColor TfrmOrmix::seriesColour(size_t k) {
    static const QColor kColours[] = {
        QColor(0, 90, 200),  QColor(200, 30, 30), QColor(0, 140, 60),  QColor(230, 130, 0),
        QColor(130, 0, 160), QColor(0, 150, 160), QColor(120, 80, 20), QColor(220, 0, 140),
        QColor(90, 90, 90),  QColor(150, 160, 0), QColor(40, 40, 140), QColor(160, 60, 60),
    };
    return kColours[k % std::size(kColours)];
}

void TfrmOrmix::buildUi() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("&Файл"));
    QAction* open = menu->addAction(QStringLiteral("Открыть…"), this, &TfrmOrmix::ActionOpenTriggered);
    open->setObjectName(QStringLiteral("ActionOpen"));
    open->setShortcut(QKeySequence::Open);
#ifdef KV_WITH_ARCHIVE
    menu->addAction(QStringLiteral("Открыть архив…"), this, &TfrmOrmix::ActionOpenArchiveTriggered)
        ->setObjectName(QStringLiteral("ActionOpenArchive"));
#endif
#ifdef KV_HAVE_CENTRAL
    menu->addAction(QStringLiteral("Открыть центральный архив…"), this,
                    &TfrmOrmix::ActionOpenCentralArchiveTriggered)
        ->setObjectName(QStringLiteral("ActionOpenCentralArchive"));
#endif
    QAction* close =
        menu->addAction(QStringLiteral("Закрыть файл"), this, &TfrmOrmix::ActionCloseFileTriggered);
    close->setObjectName(QStringLiteral("ActionCloseFile"));
    menu->addSeparator();
    menu->addAction(QStringLiteral("Экспорт в CSV: показанный логгер…"), this,
                    &TfrmOrmix::ActionExportLoggerTriggered)
        ->setObjectName(QStringLiteral("ActionExportLogger"));
    menu->addAction(QStringLiteral("Экспорт в CSV: все логгеры файла…"), this,
                    &TfrmOrmix::ActionExportAllTriggered)
        ->setObjectName(QStringLiteral("ActionExportAll"));
    // A Russian spreadsheet splits its CSV at ";" and reads "3,65" as a number.
    actionCsvRussian_ = menu->addAction(QStringLiteral("CSV для русской таблицы («;» и десятичная запятая)"));
    actionCsvRussian_->setObjectName(QStringLiteral("ActionCsvRussian"));
    actionCsvRussian_->setCheckable(true);
    actionCsvRussian_->setChecked(true);
#ifdef KV_WITH_ARCHIVE
    actionSaveHistory_ = menu->addAction(QStringLiteral("Сохранить как измерения (*.orx)…"), this,
                                         &TfrmOrmix::ActionSaveHistoryOrxTriggered);
    actionSaveHistory_->setObjectName(QStringLiteral("ActionSaveHistoryOrx"));
    actionSaveHistory_->setEnabled(false);
#endif
    menu->addAction(QStringLiteral("Сохранить рисунок в PNG…"), this, &TfrmOrmix::ActionExportPngTriggered)
        ->setObjectName(QStringLiteral("ActionExportPng"));
    menu->addSeparator();
    QAction* quit = menu->addAction(QStringLiteral("Выход"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    auto* splitter = new QSplitter(this);
    tree_ = new QTreeWidget(splitter);
    tree_->setObjectName(QStringLiteral("TreeFiles"));
    tree_->setHeaderLabel(QStringLiteral("Файлы и логгеры"));
    tree_->setMinimumWidth(200);
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { TreeFilesCurrentChanged(item); });

    auto* right = new QWidget(splitter);
    auto* column = new QVBoxLayout(right);
    labelSummary_ = new QLabel(right);
    labelSummary_->setObjectName(QStringLiteral("LabelSummary"));
    labelSummary_->setWordWrap(true);
    column->addWidget(labelSummary_);

    auto* form = new QFormLayout;
    auto addRow = [&](const char* name, const QString& caption) {
        auto* l = new QLabel(right);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(caption, l);
        return l;
    };
    labelName_ = addRow("LabelName", QStringLiteral("Логгер:"));
    labelComment_ = addRow("LabelComment", QStringLiteral("Комментарий:"));
    labelString_ = addRow("LabelString", QStringLiteral("Термокоса:"));
    labelCodes_ = addRow("LabelCodes", QStringLiteral("Коды датчиков:"));
    labelCount_ = addRow("LabelCount", QStringLiteral("Записей:"));
    labelSpan_ = addRow("LabelSpan", QStringLiteral("Время:"));
    labelLoggerSignature_ = addRow("LabelLoggerSignature", QStringLiteral("Подпись:"));
    labelCodes_->setWordWrap(true);
    column->addLayout(form);

    tabs_ = new QTabWidget(right);
    tabs_->setObjectName(QStringLiteral("TabsView"));
    table_ = new QTableView(tabs_);
    table_->setObjectName(QStringLiteral("TableRecords"));
    model_ = new TOrxRecordModel(this);
    table_->setModel(model_);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tabs_->addTab(table_, QStringLiteral("Записи"));

    auto* plotPage = new QSplitter(tabs_);
    sensors_ = new QListWidget(plotPage);
    sensors_->setObjectName(QStringLiteral("ListSensors"));
    // Wide enough for a sensor's whole name beside its check box.
    sensors_->setMinimumWidth(
        sensors_->fontMetrics().horizontalAdvance(QStringLiteral("Датчик 32 (код -32768)")) + 40);
    connect(sensors_, &QListWidget::itemChanged, this, [this] { ListSensorsChanged(); });
    auto* plotColumn = new QWidget(plotPage);
    auto* plotLayout = new QVBoxLayout(plotColumn);
    plotLayout->setContentsMargins(0, 0, 0, 0);
    plot_ = new TXYPlot(plotColumn);
    plot_->setObjectName(QStringLiteral("PlotReadings"));
    plot_->setValueCaption(QStringLiteral("Показания"));
    plot_->setMarkerSpacing(kPlotMarkerSpacing);
    // Files span days to months: a time of day alone would repeat along the axis.
    plot_->setDateTimeLabels(true);
    connect(plot_, &TXYPlot::doubleClicked, this, &TfrmOrmix::PlotReadingsDoubleClicked);
    labelPlotRange_ = new QLabel(plotColumn);
    labelPlotRange_->setObjectName(QStringLiteral("LabelPlotRange"));
    // The hint wraps rather than widening the window past a laptop's screen.
    labelPlotRange_->setWordWrap(true);
    plotLayout->addWidget(plot_, 1);
    plotLayout->addWidget(labelPlotRange_);
    plotPage->addWidget(sensors_);
    plotPage->addWidget(plotColumn);
    plotPage->setStretchFactor(1, 1);
    plotPage->setSizes({180, 700});
    tabs_->addTab(plotPage, QStringLiteral("График"));

    depth_ = new TDepthTimeView(tabs_);
    depth_->setObjectName(QStringLiteral("ViewDepthTime"));
    tabs_->addTab(depth_, QStringLiteral("Глубина–время"));

    problems_ = new QTableWidget(0, 2, tabs_);
    problems_->setObjectName(QStringLiteral("TableProblems"));
    problems_->setHorizontalHeaderLabels({QStringLiteral("Строка"), QStringLiteral("Замечание")});
    problems_->horizontalHeader()->setStretchLastSection(true);
    problems_->verticalHeader()->hide();
    problems_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tabs_->addTab(problems_, QStringLiteral("Замечания"));
    column->addWidget(tabs_, 1);

    splitter->addWidget(tree_);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 840});
    setCentralWidget(splitter);
    statusBar();
    showFileInfo();
    showLoggerInfo();
}

void TfrmOrmix::error(const QString& text) {
    if (sink_)
        sink_(text);
    else
        QMessageBox::critical(this, QStringLiteral("Ormix"), text, QMessageBox::Ok);
}

const orx::OrxFile* TfrmOrmix::fileData(int file) const {
    return file >= 0 && file < fileCount() ? &files_[static_cast<size_t>(file)]->data : nullptr;
}

QString TfrmOrmix::filePath(int file) const {
    return file >= 0 && file < fileCount() ? files_[static_cast<size_t>(file)]->path : QString();
}

const orx::Logger* TfrmOrmix::shown() const {
    const orx::OrxFile* f = fileData(curFile_);
    if (!f || curLogger_ < 0 || curLogger_ >= static_cast<int>(f->loggers.size()))
        return nullptr;
    return &f->loggers[static_cast<size_t>(curLogger_)];
}

bool TfrmOrmix::openFile(const QString& path) {
    const QString full = QFileInfo(path).absoluteFilePath();
    auto loaded = std::make_unique<OpenFile>();
    loaded->path = full;
    const int year = dt::decode(SystemClock::instance().now()).year;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const orx::LoadStatus status = orx::loadOrxFile(full.toStdString(), year, loaded->data);
    QApplication::restoreOverrideCursor();
    if (status != orx::LoadStatus::Ok && status != orx::LoadStatus::ReadError) {
        error(loadError(status, full));
        return false;
    }
    if (status == orx::LoadStatus::ReadError)
        error(loadError(status, full));

    showLogger(placeEntry(std::move(loaded)), 0);
    statusBar()->showMessage(QStringLiteral("Открыт файл ") + full);
    return true;
}

int TfrmOrmix::placeEntry(std::unique_ptr<OpenFile> loaded) {
    // Opening a file or a history again reads it anew in its old place.
    int index = -1;
    for (int i = 0; i < fileCount(); ++i) {
        const OpenFile& f = *files_[static_cast<size_t>(i)];
        bool same = f.path == loaded->path && f.fromArchive == loaded->fromArchive;
#ifdef KV_WITH_ARCHIVE
        same = same && f.history.LoggerName == loaded->history.LoggerName;
#endif
        if (same)
            index = i;
    }
    // The views read the old data in place: let go of them before it is replaced.
    model_->setLogger(nullptr);
    depth_->setLogger(nullptr);
    if (index >= 0) {
        files_[static_cast<size_t>(index)] = std::move(loaded);
    } else {
        files_.push_back(std::move(loaded));
        index = fileCount() - 1;
    }
    curFile_ = -1;
    fillTree();
    return index;
}

bool TfrmOrmix::isHistory(int file) const {
    return file >= 0 && file < fileCount() && files_[static_cast<size_t>(file)]->fromArchive;
}

QString TfrmOrmix::dialogFolder() const {
    // Beside the file shown, or the one opened last; a history lies beside its archive.
    const int f = curFile_ >= 0 ? curFile_ : fileCount() - 1;
    return f >= 0 ? QFileInfo(filePath(f)).absolutePath() + QLatin1Char('/') : QString();
}

QStringList TfrmOrmix::openPaths() const {
    QStringList paths;
    if (curFile_ >= 0)
        paths << filePath(curFile_);
    for (int f = 0; f < fileCount(); ++f)
        if (f != curFile_)
            paths << filePath(f);
    return paths;
}

QString TfrmOrmix::entryBaseName(int file) const {
    const orx::OrxFile* f = fileData(file);
    if (isHistory(file))
        return ormix::historyName(*f) + QStringLiteral("_архив");
    return QFileInfo(filePath(file)).completeBaseName();
}

#ifdef KV_WITH_ARCHIVE
bool TfrmOrmix::openArchive(const QString& path) {
    const QString full = QFileInfo(path).absoluteFilePath();
    RecordArchive archive;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool opened = archive.open(full.toStdString(), RecordArchive::Mode::ReadOnly);
    QApplication::restoreOverrideCursor();
    if (!opened) {
        error(QString::fromStdString(archive.errorText()));
        return false;
    }
    return chooseFromArchive(archive, QFileInfo(full).fileName());
}

#ifdef KV_HAVE_CENTRAL
bool TfrmOrmix::openCentralArchive(const QString& connection) {
    CentralArchive archive;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool opened = archive.open(connection.trimmed().toStdString(), CentralArchive::Mode::ReadOnly);
    QApplication::restoreOverrideCursor();
    if (!opened) {
        error(QString::fromStdString(archive.errorText()));
        return false;
    }
    return chooseFromArchive(archive, QString::fromStdString(archive.location()));
}
#endif

bool TfrmOrmix::chooseFromArchive(IArchiveReader& archive, const QString& name) {
    const QString location = QString::fromStdString(archive.location());
    std::vector<ArchivedLogger> loggers;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool read = archive.loggers(loggers);
    QApplication::restoreOverrideCursor();
    if (!read) {
        error(QString::fromStdString(archive.errorText()));
        return false;
    }
    if (loggers.empty()) {
        error(QStringLiteral("В архиве ") + location + QStringLiteral(" нет записей"));
        return false;
    }
    TfrmArchiveLoggers chooser(QStringLiteral("Архив — ") + name, location, std::move(loggers), this);
    chooser.setArchive(&archive);
    if (chooser.exec() != QDialog::Accepted || !chooser.chosenLogger())
        return false;
    return openArchiveLogger(archive, chooser.chosenLogger()->LoggerName, name);
}

bool TfrmOrmix::openArchiveLogger(IArchiveReader& archive, const std::string& loggerName,
                                  const QString& archiveName) {
    auto loaded = std::make_unique<OpenFile>();
    loaded->path = QString::fromStdString(archive.location());
    loaded->fromArchive = true;
    loaded->archiveName = archiveName;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool read = archive.history(loggerName, loaded->history);
    if (read)
        loaded->data = ormix::historyFile(loaded->history);
    QApplication::restoreOverrideCursor();
    const QString name = QString::fromStdString(cp1251ToUtf8(loggerName));
    if (!read) {
        error(QString::fromStdString(archive.errorText()));
        return false;
    }
    if (loaded->data.loggers.empty()) {
        error(QStringLiteral("В архиве ") + loaded->path + QStringLiteral(" нет записей логгера ") + name);
        return false;
    }
    showLogger(placeEntry(std::move(loaded)), 0);
    statusBar()->showMessage(QStringLiteral("Загружена история логгера ") + name);
    return true;
}
#endif

void TfrmOrmix::fillTree() {
    filling_ = true;
    tree_->clear();
    for (int i = 0; i < fileCount(); ++i) {
        const OpenFile& f = *files_[static_cast<size_t>(i)];
        auto* top =
            new QTreeWidgetItem(tree_, {f.fromArchive ? QStringLiteral("Архив: ") + ormix::historyName(f.data)
                                                      : QFileInfo(f.path).fileName()});
        top->setToolTip(0, f.path);
        top->setData(0, kRoleFile, i);
        top->setData(0, kRoleLogger, -1);
        if (f.data.badSignatureLines > 0)
            top->setForeground(0, QColor(180, 0, 0));
        for (size_t k = 0; k < f.data.loggers.size(); ++k) {
            const orx::Logger& l = f.data.loggers[k];
            // A history's blocks share the name: the string tells them apart.
            auto* item = new QTreeWidgetItem(
                top, {f.fromArchive ? QStringLiteral("T%1, SN %2").arg(l.StringType).arg(l.StringSerial)
                                    : ormix::loggerName(l)});
            item->setToolTip(0, ormix::loggerComment(l));
            item->setData(0, kRoleFile, i);
            item->setData(0, kRoleLogger, static_cast<int>(k));
            if (l.badSignatures > 0)
                item->setForeground(0, QColor(180, 0, 0));
        }
        top->setExpanded(true);
    }
    filling_ = false;
}

bool TfrmOrmix::showLogger(int file, int logger) {
    const orx::OrxFile* f = fileData(file);
    if (!f)
        return false;
    if (logger >= static_cast<int>(f->loggers.size()))
        return false;
    const bool fileChanged = file != curFile_;
    curFile_ = file;
    curLogger_ = f->loggers.empty() ? -1 : std::max(0, logger);
    if (fileChanged)
        showFileInfo();
    showLoggerInfo();
    if (actionSaveHistory_)
        actionSaveHistory_->setEnabled(isHistory(curFile_));

    // Keep the tree's selection in step without coming back here.
    filling_ = true;
    if (QTreeWidgetItem* top = tree_->topLevelItem(file)) {
        QTreeWidgetItem* item =
            curLogger_ >= 0 && curLogger_ < top->childCount() ? top->child(curLogger_) : top;
        tree_->setCurrentItem(item);
    }
    filling_ = false;
    return true;
}

void TfrmOrmix::TreeFilesCurrentChanged(QTreeWidgetItem* item) {
    if (filling_ || !item)
        return;
    showLogger(item->data(0, kRoleFile).toInt(), std::max(0, item->data(0, kRoleLogger).toInt()));
}

void TfrmOrmix::setSensorChecked(int sensor, bool checked) {
    if (QListWidgetItem* item = sensors_->item(sensor))
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TfrmOrmix::ListSensorsChanged() {
    if (!filling_)
        rebuildPlot();
}

void TfrmOrmix::rebuildPlot() {
    for (int s = 0; s < plot_->seriesCount(); ++s)
        plot_->clearSeries(s);
    labelPlotRange_->clear();
    const orx::Logger* l = shown();
    if (!l || l->recordCount() == 0)
        return;
    // One series per sensor, kept across loggers, so a sensor keeps its colour.
    while (plot_->seriesCount() < static_cast<int>(l->sensorCount())) {
        const QColor c = seriesColour(static_cast<size_t>(plot_->seriesCount()));
        plot_->addSeries(c, c, c.darker(150));
    }
    double vMin = 0, vMax = 0;
    bool any = false;
    for (size_t k = 0; k < l->sensorCount(); ++k) {
        const QListWidgetItem* item = sensors_->item(static_cast<int>(k));
        if (!item || item->checkState() != Qt::Checked)
            continue;
        const auto& r = l->SensorReadings[k];
        for (size_t n = 0; n < r.size(); ++n)
            plot_->appendPoint(static_cast<int>(k), l->RecordTimes[n], r[n]);
        const auto [lo, hi] = std::minmax_element(r.begin(), r.end());
        vMin = any ? std::min<double>(vMin, *lo) : *lo;
        vMax = any ? std::max<double>(vMax, *hi) : *hi;
        any = true;
    }
    double tMin = l->firstTime, tMax = l->lastTime;
    if (!(tMax > tMin)) {
        tMin -= 1.0 / 1440;
        tMax += 1.0 / 1440;
    }
    plot_->setTimeRange(tMin, tMax);
    if (any) {
        const double pad = std::max(1.0, (vMax - vMin) * 0.05);
        plot_->setValueRange(vMin - pad, vMax + pad);
    }
    labelPlotRange_->setText(
        QStringLiteral("Время: с %1 по %2. Сдвиг — перетаскиванием, увеличение — Shift и "
                       "выделение, двойной щелчок — весь период.")
            .arg(ormix::dateTimeText(tMin), ormix::dateTimeText(tMax)));
}

void TfrmOrmix::PlotReadingsDoubleClicked() {
    rebuildPlot();
}

bool TfrmOrmix::exportCsv(const QString& path, bool allLoggers) {
    const orx::OrxFile* f = fileData(curFile_);
    if (!f || (!allLoggers && !shown())) {
        error(QStringLiteral("Нет данных для экспорта"));
        return false;
    }
    std::vector<size_t> which;
    if (allLoggers) {
        for (size_t i = 0; i < f->loggers.size(); ++i)
            which.push_back(i);
    } else {
        which.push_back(static_cast<size_t>(curLogger_));
    }
    const orx::CsvStyle style =
        actionCsvRussian_->isChecked() ? orx::CsvStyle{';', true} : orx::CsvStyle{',', false};
    // The byte-order mark tells a spreadsheet that the Cyrillic is UTF-8.
    const std::string csv = "\xEF\xBB\xBF" + orx::toCsv(*f, which, style);
    fileio::AtomicFile out;
    const bool ok = out.open(path.toStdString()) == fileio::AtomicFile::OpenStatus::Ok &&
                    out.write(csv.data(), csv.size()) && out.commit();
    if (!ok) {
        error(QStringLiteral("Не удалось сохранить файл ") + path);
        return false;
    }
    statusBar()->showMessage(QStringLiteral("Сохранён файл ") + path);
    return true;
}

bool TfrmOrmix::exportPng(const QString& path) {
    QWidget* source = tabs_->currentWidget() == depth_ ? static_cast<QWidget*>(depth_) : plot_;
    // A page that was never shown has no size yet: give it the size of the shown page.
    if (!source->isVisible())
        source->resize(tabs_->currentWidget()->size());
    if (!source->grab().save(path, "PNG")) {
        error(QStringLiteral("Не удалось сохранить файл ") + path);
        return false;
    }
    statusBar()->showMessage(QStringLiteral("Сохранён файл ") + path);
    return true;
}

namespace {

QString askSave(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter,
                const QString& suffix) {
    QString path = QFileDialog::getSaveFileName(parent, caption, suggested, filter, nullptr,
                                                QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += suffix;
    return path;
}

} // namespace

void TfrmOrmix::ActionOpenTriggered() {
    const QStringList paths =
        QFileDialog::getOpenFileNames(this, QStringLiteral("Открыть файл измерений"), dialogFolder(),
                                      QStringLiteral("Файлы измерений (*.orx);;Все файлы (*)"));
    for (const QString& p : paths)
        openFile(p);
}

#ifdef KV_WITH_ARCHIVE
void TfrmOrmix::ActionOpenArchiveTriggered() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Открыть архив записей"), ormix::defaultArchivePath(openPaths()),
        QStringLiteral("Архивы записей (*.sqlite);;Все файлы (*)"));
    if (!path.isEmpty())
        openArchive(path);
}

void TfrmOrmix::ActionOpenCentralArchiveTriggered() {
#ifdef KV_HAVE_CENTRAL
    bool ok = false;
    const QString connection = QInputDialog::getText(
        this, QStringLiteral("Открыть центральный архив"),
        QStringLiteral(
            "Адрес базы PostgreSQL (строка соединения libpq или URL, без пароля: пароль берется из "
            "~/.pgpass):"),
        QLineEdit::Normal, ormix::defaultCentralAddress(), &ok);
    if (ok && !connection.trimmed().isEmpty())
        openCentralArchive(connection);
#endif
}

void TfrmOrmix::ActionSaveHistoryOrxTriggered() {
    if (!isHistory(curFile_))
        return;
    const QString path =
        askSave(this, QStringLiteral("Сохранить историю как файл измерений"),
                dialogFolder() + entryBaseName(curFile_) + QStringLiteral(".orx"),
                QStringLiteral("Файлы измерений (*.orx);;Все файлы (*)"), QStringLiteral(".orx"));
    if (!path.isEmpty())
        saveHistoryOrx(path);
}

bool TfrmOrmix::saveHistoryOrx(const QString& path) {
    if (!isHistory(curFile_)) {
        error(QStringLiteral("Нет данных для сохранения"));
        return false;
    }
    const std::string target = path.toStdString();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const orx::WriteResult result = ormix::saveHistory(target, files_[static_cast<size_t>(curFile_)]->history,
                                                       SystemClock::instance().now());
    QApplication::restoreOverrideCursor();
    if (result != orx::WriteResult::Ok) {
        error(QString::fromStdString(orxFailureMessage(result, target)));
        return false;
    }
    statusBar()->showMessage(QStringLiteral("Сохранён файл ") + path);
    return true;
}
#endif

void TfrmOrmix::ActionCloseFileTriggered() {
    if (curFile_ < 0)
        return;
    model_->setLogger(nullptr);
    depth_->setLogger(nullptr);
    files_.erase(files_.begin() + curFile_);
    curFile_ = -1;
    curLogger_ = -1;
    fillTree();
    if (fileCount() > 0) {
        showLogger(0, 0);
    } else {
        showFileInfo();
        showLoggerInfo();
        if (actionSaveHistory_)
            actionSaveHistory_->setEnabled(false);
    }
}

void TfrmOrmix::ActionExportLoggerTriggered() {
    const orx::Logger* l = shown();
    if (!l) {
        error(QStringLiteral("Нет данных для экспорта"));
        return;
    }
    const QString base = entryBaseName(curFile_);
    const QString path = askSave(
        this, QStringLiteral("Экспорт логгера в CSV"),
        dialogFolder() + (isHistory(curFile_) ? base : base + QLatin1Char('_') + ormix::loggerName(*l)) +
            QStringLiteral(".csv"),
        QStringLiteral("CSV (*.csv)"), QStringLiteral(".csv"));
    if (!path.isEmpty())
        exportCsv(path, false);
}

void TfrmOrmix::ActionExportAllTriggered() {
    if (curFile_ < 0) {
        error(QStringLiteral("Нет данных для экспорта"));
        return;
    }
    const QString path = askSave(this, QStringLiteral("Экспорт всех логгеров в CSV"),
                                 dialogFolder() + entryBaseName(curFile_) + QStringLiteral(".csv"),
                                 QStringLiteral("CSV (*.csv)"), QStringLiteral(".csv"));
    if (!path.isEmpty())
        exportCsv(path, true);
}

void TfrmOrmix::ActionExportPngTriggered() {
    const QString path = askSave(this, QStringLiteral("Сохранить рисунок"),
                                 dialogFolder() + entryBaseName(curFile_) + QStringLiteral(".png"),
                                 QStringLiteral("PNG (*.png)"), QStringLiteral(".png"));
    if (!path.isEmpty())
        exportPng(path);
}

void TfrmOrmix::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            return;
        }
    }
}

void TfrmOrmix::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            openFile(url.toLocalFile());
    }
    event->acceptProposedAction();
}
