#include "ormix/TfrmArchiveLoggers.h"

#include "files/Cp1251.h"
#include "ormix/OrmixText.h"
#include "ormix/TfrmHealth.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

TfrmArchiveLoggers::TfrmArchiveLoggers(const QString& title, const QString& location,
                                       std::vector<ArchivedLogger> loggers, QWidget* parent)
    : QDialog(parent), loggers_(std::move(loggers)) {
    setObjectName(QStringLiteral("frmArchiveLoggers"));
    setWindowTitle(title);
    auto* column = new QVBoxLayout(this);
    auto* caption = new QLabel(QStringLiteral("Логгеры архива %1. Выберите логгер, чтобы "
                                              "показать всю его историю.")
                                   .arg(QDir::toNativeSeparators(location)),
                               this);
    caption->setWordWrap(true);
    column->addWidget(caption);

    table_ = new QTableWidget(static_cast<int>(loggers_.size()), ColumnCount, this);
    table_->setObjectName(QStringLiteral("TableArchiveLoggers"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Логгер"), QStringLiteral("Комментарий"),
                                       QStringLiteral("Записей"), QStringLiteral("Первая запись"),
                                       QStringLiteral("Последняя запись"), QStringLiteral("Конфликтов")});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    for (size_t i = 0; i < loggers_.size(); ++i) {
        const ArchivedLogger& l = loggers_[i];
        const auto row = static_cast<int>(i);
        auto put = [&](int col, const QString& text, bool number) {
            auto* item = new QTableWidgetItem(text);
            if (number)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(row, col, item);
        };
        put(ColLogger, QString::fromStdString(cp1251ToUtf8(l.LoggerName)), false);
        put(ColComment, QString::fromStdString(cp1251ToUtf8(l.LoggerComment)), false);
        put(ColRecords, QString::number(l.recordCount), true);
        put(ColFirst, ormix::dateTimeText(l.firstTime), false);
        put(ColLast, ormix::dateTimeText(l.lastTime), false);
        put(ColConflicts, QString::number(l.conflictCount), true);
        if (l.conflictCount > 0)
            table_->item(row, ColConflicts)->setForeground(QColor(180, 0, 0));
    }
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(true);
    if (!loggers_.empty())
        table_->selectRow(0);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { accept(); });
    column->addWidget(table_, 1);

    buttons_ = new QDialogButtonBox(this);
    QDialogButtonBox* buttons = buttons_;
    QPushButton* open = buttons->addButton(QStringLiteral("Открыть"), QDialogButtonBox::AcceptRole);
    open->setDefault(true);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);

    int width = table_->verticalScrollBar()->sizeHint().width() + 2 * table_->frameWidth() + 24;
    for (int c = 0; c < ColumnCount; ++c)
        width += table_->columnWidth(c);
    resize(std::max(width, 520), 360);
}

void TfrmArchiveLoggers::setArchive(IArchiveReader* archive) {
    archive_ = archive;
    if (health_ || !archive)
        return;
    health_ = buttons_->addButton(QStringLiteral("Состояние…"), QDialogButtonBox::ActionRole);
    health_->setObjectName(QStringLiteral("ButtonHealth"));
    connect(health_, &QPushButton::clicked, this, [this] {
        const ArchivedLogger* l = chosenLogger();
        std::vector<StatusRead> readings;
        if (!l || !archive_)
            return;
        if (!archive_->statusHistory(l->LoggerName, readings)) {
            QMessageBox::critical(this, windowTitle(), QString::fromStdString(archive_->errorText()));
            return;
        }
        TfrmHealth health(QString::fromStdString(cp1251ToUtf8(l->LoggerName)), readings, this);
        health.exec();
    });
}

const ArchivedLogger* TfrmArchiveLoggers::chosenLogger() const {
    const int row = table_->currentRow();
    if (row < 0 || row >= static_cast<int>(loggers_.size()))
        return nullptr;
    return &loggers_[static_cast<size_t>(row)];
}
