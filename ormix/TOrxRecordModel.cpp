#include "ormix/TOrxRecordModel.h"

#include "ormix/OrmixText.h"
#include "orxparse/OrxCsv.h"

#include <QColor>
#include <QLocale>

TOrxRecordModel::TOrxRecordModel(QObject* parent) : QAbstractTableModel(parent) {}

void TOrxRecordModel::setLogger(const orx::Logger* logger) {
    beginResetModel();
    logger_ = logger;
    endResetModel();
}

int TOrxRecordModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !logger_)
        return 0;
    return static_cast<int>(std::min<size_t>(logger_->recordCount(), INT32_MAX));
}

int TOrxRecordModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() || !logger_)
        return 0;
    return FirstSensorColumn + static_cast<int>(logger_->sensorCount());
}

QColor TOrxRecordModel::badRowBackground() {
    return QColor(255, 190, 190);
}

QColor TOrxRecordModel::conflictRowBackground() {
    return QColor(255, 225, 140);
}

QVariant TOrxRecordModel::data(const QModelIndex& index, int role) const {
    if (!logger_ || !index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const auto n = static_cast<size_t>(index.row());
    const bool bad = logger_->signatureOk[n] == 0;
    const bool conflict = n < logger_->conflict.size() && logger_->conflict[n] != 0;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case ColLine:
            // A record of the archive that no file line would hold.
            return logger_->recordLines[n] ? QString::number(logger_->recordLines[n]) : QString();
        case ColTime:
            return ormix::dateTimeText(logger_->RecordTimes[n]);
        case ColVoltage:
            // The file's hundredths of a volt, in volts as the main window shows them.
            return QString::fromStdString(
                       orx::voltsText(logger_->RecordVoltages[n], QLocale::system().decimalPoint() == ',')) +
                   QStringLiteral(" В");
        default:
            return QString::number(
                logger_->SensorReadings[static_cast<size_t>(index.column() - FirstSensorColumn)][n]);
        }
    case Qt::TextAlignmentRole:
        return index.column() == ColTime ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                         : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        if (bad)
            return badRowBackground();
        return conflict ? QVariant(conflictRowBackground()) : QVariant();
    case Qt::ForegroundRole:
        return bad ? QVariant(QColor(150, 0, 0)) : QVariant();
    case Qt::ToolTipRole:
        if (bad)
            return QStringLiteral("Подпись нарушена");
        return conflict
                   ? QVariant(QStringLiteral("Конфликт: для этого времени раньше получены другие значения"))
                   : QVariant();
    default:
        return {};
    }
}

QVariant TOrxRecordModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || !logger_)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case ColLine:
        return QStringLiteral("Строка");
    case ColTime:
        return QStringLiteral("Время");
    case ColVoltage:
        return QStringLiteral("Напряжение");
    default:
        if (section < columnCount())
            return ormix::sensorTitle(*logger_, static_cast<size_t>(section - FirstSensorColumn))
                .replace(QStringLiteral(" ("), QStringLiteral("\n("));
        return {};
    }
}
