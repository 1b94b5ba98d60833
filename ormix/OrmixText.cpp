#include "ormix/OrmixText.h"

#include <QStringList>

namespace ormix {

QString loggerName(const orx::Logger& l) {
    if (l.nameLine == 0 && l.LoggerName.empty())
        return QStringLiteral("(без заголовка)");
    return QString::fromStdString(orx::loggerText(l.LoggerName, l.textIsUtf8));
}

QString loggerComment(const orx::Logger& l) {
    return QString::fromStdString(orx::loggerText(l.LoggerComment, l.textIsUtf8));
}

QString dateTimeText(TDateTime t) {
    return QString::fromStdString(dt::formatDateTime(t));
}

QString linesText(uint64_t n) {
    const uint64_t tens = n % 100;
    const uint64_t last = n % 10;
    const char* word = "строк";
    if (tens < 11 || tens > 14) {
        if (last == 1)
            word = "строка";
        else if (last >= 2 && last <= 4)
            word = "строки";
    }
    return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(word);
}

bool fileHasWarning(const orx::OrxFile& f) {
    return f.badSignatureLines > 0 || f.problemCount > 0;
}

QString fileSummary(const orx::OrxFile& f) {
    QStringList parts;
    parts << QStringLiteral("Логгеров: %1, записей: %2").arg(f.loggers.size()).arg(f.recordCount());
    if (f.badSignatureLines > 0)
        parts << QStringLiteral("Подпись нарушена: ") + linesText(f.badSignatureLines);
    if (f.droppedLines > 0)
        parts << QStringLiteral("Не прочитано: ") + linesText(f.droppedLines);
    // Each failing signature and each unread line is one problem; the rest are remarks on the layout.
    if (f.problemCount > f.badSignatureLines + f.droppedLines)
        parts << QStringLiteral("Замечаний к строению файла: %1")
                     .arg(f.problemCount - f.badSignatureLines - f.droppedLines);
    return parts.join(QStringLiteral(". "));
}

QString sensorTitle(const orx::Logger& l, size_t k) {
    QString s = QStringLiteral("Датчик %1").arg(k + 1);
    if (k < l.SensorCodes.size())
        s += QStringLiteral(" (код %1)").arg(l.SensorCodes[k]);
    return s;
}

QString historyName(const orx::OrxFile& f) {
    return f.loggers.empty() ? QString() : loggerName(f.loggers.front());
}

} // namespace ormix
