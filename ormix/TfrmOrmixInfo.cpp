// The viewer's summary of the file shown and of its logger: the title, the summary line, the
// remarks and the sensor list.
#include "ormix/OrmixText.h"
#include "ormix/TDepthTimeView.h"
#include "ormix/TOrxRecordModel.h"
#include "ormix/TfrmOrmix.h"
#include "orxparse/OrxData.h"

#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>

#include <algorithm>

namespace {

// Sensors ticked on the plot when a logger is first shown.
constexpr int kInitiallyPlotted = 4;

} // namespace

void TfrmOrmix::showFileInfo() {
    const orx::OrxFile* f = fileData(curFile_);
    problems_->setRowCount(0);
    if (!f) {
        setWindowTitle(QStringLiteral("Ormix"));
        labelSummary_->setText(QStringLiteral("Откройте файл измерений (*.orx) или перетащите его в окно."));
        labelSummary_->setStyleSheet(QString());
        return;
    }
    if (isHistory(curFile_)) {
        size_t conflicts = 0;
        for (const orx::Logger& l : f->loggers)
            conflicts += static_cast<size_t>(std::count(l.conflict.begin(), l.conflict.end(), 1));
        const QString archive = files_[static_cast<size_t>(curFile_)]->archiveName;
        setWindowTitle(QStringLiteral("Ormix — история ") + ormix::historyName(*f) +
                       QStringLiteral(" (архив ") + archive + QLatin1Char(')'));
        labelSummary_->setText(QStringLiteral("История логгера %1 из архива %2. Записей: %3, строк "
                                              "термокосы: %4, конфликтов: %5.")
                                   .arg(ormix::historyName(*f), archive)
                                   .arg(f->recordCount())
                                   .arg(f->loggers.size())
                                   .arg(conflicts));
        labelSummary_->setStyleSheet(QString());
        tabs_->setTabText(3, QStringLiteral("Замечания"));
        return;
    }
    setWindowTitle(QStringLiteral("Ormix — ") + QFileInfo(filePath(curFile_)).fileName());
    QString summary = QFileInfo(filePath(curFile_)).fileName();
    if (f->hasCreated)
        summary += QStringLiteral(", создан ") + ormix::dateTimeText(f->created);
    summary += QStringLiteral(". ") + ormix::fileSummary(*f);
    labelSummary_->setText(summary);
    labelSummary_->setStyleSheet(
        f->badSignatureLines > 0 ? QStringLiteral("color: #b40000; font-weight: bold;") : QString());

    const int rows = static_cast<int>(f->problems.size()) + (f->problemCount > f->problems.size() ? 1 : 0);
    problems_->setRowCount(rows);
    for (size_t i = 0; i < f->problems.size(); ++i) {
        const orx::Problem& p = f->problems[i];
        auto* line = new QTableWidgetItem(QString::number(p.line));
        line->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* text = new QTableWidgetItem(QString::fromStdString(p.message));
        if (p.kind == orx::ProblemKind::BadSignature) {
            line->setBackground(TOrxRecordModel::badRowBackground());
            text->setBackground(TOrxRecordModel::badRowBackground());
        }
        problems_->setItem(static_cast<int>(i), 0, line);
        problems_->setItem(static_cast<int>(i), 1, text);
    }
    if (rows > static_cast<int>(f->problems.size())) {
        problems_->setItem(rows - 1, 1,
                           new QTableWidgetItem(QStringLiteral("… и ещё %1 замечаний не показано")
                                                    .arg(f->problemCount - f->problems.size())));
    }
    problems_->resizeColumnToContents(0);
    tabs_->setTabText(3, f->problemCount > 0 ? QStringLiteral("Замечания (%1)").arg(f->problemCount)
                                             : QStringLiteral("Замечания"));
}

void TfrmOrmix::showLoggerInfo() {
    const orx::Logger* l = shown();
    model_->setLogger(l);
    // The whole date and time must show; a reset model gives the column its default width.
    table_->setColumnWidth(TOrxRecordModel::ColTime,
                           table_->fontMetrics().horizontalAdvance(QStringLiteral("00.00.00 00:00:00")) + 16);
    depth_->setLogger(l);
    filling_ = true;
    sensors_->clear();
    if (l) {
        for (size_t k = 0; k < l->sensorCount(); ++k) {
            auto* item = new QListWidgetItem(ormix::sensorTitle(*l, k), sensors_);
            item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            item->setCheckState(static_cast<int>(k) < kInitiallyPlotted ? Qt::Checked : Qt::Unchecked);
            item->setForeground(seriesColour(k));
        }
    }
    filling_ = false;
    rebuildPlot();
    if (!l) {
        for (QLabel* label : {labelName_, labelComment_, labelString_, labelCodes_, labelCount_, labelSpan_,
                              labelLoggerSignature_})
            label->clear();
        return;
    }
    labelName_->setText(ormix::loggerName(*l));
    labelComment_->setText(ormix::loggerComment(*l));
    labelString_->setText(l->stringLine
                              ? QStringLiteral("тип T%1, SN %2").arg(l->StringType).arg(l->StringSerial)
                              : QStringLiteral("нет строки термокосы"));
    QStringList codes;
    for (int32_t c : l->SensorCodes)
        codes << QString::number(c);
    labelCodes_->setText(codes.isEmpty() ? QStringLiteral("—") : codes.join(QStringLiteral(", ")));
    QString count = QStringLiteral("%1, датчиков %2").arg(l->recordCount()).arg(l->sensorCount());
    if (const auto conflicts = std::count(l->conflict.begin(), l->conflict.end(), 1))
        count += QStringLiteral(", конфликтов %1").arg(conflicts);
    labelCount_->setText(count);
    labelSpan_->setText(l->recordCount()
                            ? QStringLiteral("с %1 по %2")
                                  .arg(ormix::dateTimeText(l->firstTime), ormix::dateTimeText(l->lastTime))
                            : QStringLiteral("—"));
    if (isHistory(curFile_)) {
        // The archive keeps no signatures; a saved file gets them.
        labelLoggerSignature_->setText(QStringLiteral("нет, записи из архива"));
        labelLoggerSignature_->setStyleSheet(QString());
    } else if (l->badSignatures > 0) {
        labelLoggerSignature_->setText(QStringLiteral("Подпись нарушена: ") +
                                       ormix::linesText(l->badSignatures));
        labelLoggerSignature_->setStyleSheet(QStringLiteral("color: #b40000; font-weight: bold;"));
    } else {
        labelLoggerSignature_->setText(l->recordCount() ? QStringLiteral("верна") : QStringLiteral("—"));
        labelLoggerSignature_->setStyleSheet(QString());
    }
}
