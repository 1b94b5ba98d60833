#pragma once
#include "orxparse/OrxData.h"
#ifdef KV_WITH_ARCHIVE
#include "archive/RecordArchive.h"
#endif

#include <QColor>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QLabel;
class QListWidget;
class QTabWidget;
class QTableView;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;
class TDepthTimeView;
class TOrxRecordModel;
class TXYPlot;

// Ormix: shows measurement files read-only, one logger at a time, as a table, a plot of chosen
// sensors and a depth–time picture, with every line whose signature fails marked.
class TfrmOrmix : public QMainWindow {
    Q_OBJECT
public:
    // Pixels between a plotted series' points, on average, below which it is drawn without
    // markers: a year of records is a band of overlapping circles; zoomed in, the points show.
    static constexpr int kPlotMarkerSpacing = 4;
    explicit TfrmOrmix(QWidget* parent = nullptr);
    ~TfrmOrmix() override;

    // Reads the file (again, if it is open already) and shows its first logger. A file that cannot
    // be read gives an error box; a damaged one opens with its problems listed.
    bool openFile(const QString& path);
    int fileCount() const { return static_cast<int>(files_.size()); }
    const orx::OrxFile* fileData(int file) const;
    QString filePath(int file) const;
    // True for an entry that is a logger's history from the record archive rather than a file.
    bool isHistory(int file) const;
    bool showLogger(int file, int logger);
    int shownFile() const { return curFile_; }
    int shownLogger() const { return curLogger_; }

    // Exports (paths in the file system's encoding); false after the error box.
    bool exportCsv(const QString& path, bool allLoggers);
    // The picture of the shown tab: the depth–time picture when it is shown, otherwise the plot.
    bool exportPng(const QString& path);

    void setSensorChecked(int sensor, bool checked);
    // Error boxes go here; tests catch them instead of a modal box.
    void setMessageSink(std::function<void(const QString&)> sink) { sink_ = std::move(sink); }

    TOrxRecordModel* recordModel() const { return model_; }
    TXYPlot* plot() const { return plot_; }
    TDepthTimeView* depthTime() const { return depth_; }
    QLabel* summaryLabel() const { return labelSummary_; }
    QLabel* loggerSignatureLabel() const { return labelLoggerSignature_; }
    QTableWidget* problemTable() const { return problems_; }
    QTabWidget* tabs() const { return tabs_; }

#ifdef KV_WITH_ARCHIVE
    // Lists the loggers of the archive and loads the chosen one's whole history, one logger block
    // per thermistor string it carried. An archive that cannot be read gives an error box.
    bool openArchive(const QString& path);
#ifdef KV_HAVE_CENTRAL
    // The same for the team's central database (a libpq connection string or URL), read-only.
    bool openCentralArchive(const QString& connection);
#endif
    // Loads a logger's history (its name in the archive's bytes) as an entry of its own, or anew
    // in its old place; archiveName is how captions call the archive.
    bool openArchiveLogger(IArchiveReader& archive, const std::string& loggerName,
                           const QString& archiveName);
    // The shown history as a signed measurement file, so that it opens in any copy of the viewer.
    bool saveHistoryOrx(const QString& path);
#endif

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private slots:
    void ActionOpenTriggered();
    void ActionCloseFileTriggered();
    void ActionExportLoggerTriggered();
    void ActionExportAllTriggered();
    void ActionExportPngTriggered();
    void TreeFilesCurrentChanged(QTreeWidgetItem* item);
    void ListSensorsChanged();
    void PlotReadingsDoubleClicked();

private:
    struct OpenFile {
        QString path; // of the file, or of the archive a history came from
        orx::OrxFile data;
        bool fromArchive = false;
        QString archiveName; // of the archive a history came from, for captions
#ifdef KV_WITH_ARCHIVE
        LoggerHistory history; // kept to be saved as a measurement file
#endif
    };

#ifdef KV_WITH_ARCHIVE
    void ActionOpenArchiveTriggered();
    void ActionOpenCentralArchiveTriggered();
    void ActionSaveHistoryOrxTriggered();
    // The chooser of the archive's loggers, then the chosen one's history.
    bool chooseFromArchive(IArchiveReader& archive, const QString& name);
#endif
    // Puts a loaded entry in place of the same one opened before, or after the others; its index.
    int placeEntry(std::unique_ptr<OpenFile> loaded);
    // What export file names start with.
    QString entryBaseName(int file) const;
    // Where the file dialogs start: the folder of the file shown (with its "/"), or nothing.
    QString dialogFolder() const;
    // Every open entry's path, the shown one first.
    QStringList openPaths() const;

    void buildUi();
    void fillTree();
    // The colour of a sensor's line on the plot and of its name in the list.
    static QColor seriesColour(size_t k);
    void showFileInfo();
    void showLoggerInfo();
    void rebuildPlot();
    void error(const QString& text);
    const orx::Logger* shown() const;

    std::vector<std::unique_ptr<OpenFile>> files_; // stable addresses: the views read them in place
    int curFile_ = -1;
    int curLogger_ = -1;
    std::function<void(const QString&)> sink_;
    bool filling_ = false;

    QAction* actionSaveHistory_ = nullptr;
    QAction* actionCsvRussian_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QLabel* labelSummary_ = nullptr;
    QLabel* labelName_ = nullptr;
    QLabel* labelComment_ = nullptr;
    QLabel* labelString_ = nullptr;
    QLabel* labelCodes_ = nullptr;
    QLabel* labelCount_ = nullptr;
    QLabel* labelSpan_ = nullptr;
    QLabel* labelLoggerSignature_ = nullptr;
    QLabel* labelPlotRange_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QTableView* table_ = nullptr;
    TOrxRecordModel* model_ = nullptr;
    QListWidget* sensors_ = nullptr;
    TXYPlot* plot_ = nullptr;
    TDepthTimeView* depth_ = nullptr;
    QTableWidget* problems_ = nullptr;
};
