#include "app/TaskTexts.h"

#include "engine/LoggerTable.h"
#include "engine/TaskEngine.h"
#include "ui/Cp1251Text.h"

#include <QStringList>
#include <cstdlib>

namespace tasktext {

namespace {
// Past this many names the question and the notes only count the rest.
constexpr size_t kNamesShown = 10;

// 1, 21, 101: the singular; 2-4, 22-24: the paucal; 0, 5-20, 25-30: the plural.
int pluralForm(int n) {
    const int tens = n % 100, units = n % 10;
    if (units == 1 && tens != 11)
        return 0;
    if (units >= 2 && units <= 4 && (tens < 12 || tens > 14))
        return 1;
    return 2;
}

QString taskName(TTaskKind kind) {
    switch (kind) {
    case TTaskKind::Download:
        return QStringLiteral("Загрузка данных");
    case TTaskKind::SetTime:
        return QStringLiteral("Установка времени");
    case TTaskKind::Erase:
        return QStringLiteral("Стирание памяти");
    case TTaskKind::SetPeriod:
        return QStringLiteral("Установка периода");
    case TTaskKind::Measure:
        return QStringLiteral("Замер");
    case TTaskKind::SetChannel:
        return QStringLiteral("Смена канала");
    }
    return {};
}
} // namespace

QString loggersCount(int n) {
    static const char* const forms[] = {"логгер", "логгера", "логгеров"};
    return QString::number(n) + ' ' + QString::fromUtf8(forms[pluralForm(n)]);
}

QString loggersOf(int n) {
    return QString::number(n) + ' ' +
           (pluralForm(n) == 0 ? QStringLiteral("логгера") : QStringLiteral("логгеров"));
}

QString recordsOf(int n) {
    return QString::number(n) + ' ' +
           (pluralForm(n) == 0 ? QStringLiteral("записи") : QStringLiteral("записей"));
}

QString names(const LoggerTable& table, const std::vector<int>& rows) {
    QStringList out;
    for (size_t i = 0; i < rows.size() && i < kNamesShown; ++i)
        if (table.validIndex(rows[i]))
            out << textFromCp1251(table.loggers[static_cast<size_t>(rows[i])].LoggerName);
    QString text = out.join(QStringLiteral(", "));
    if (rows.size() > kNamesShown)
        text += QStringLiteral(" и ещё %1").arg(rows.size() - kNamesShown);
    return text;
}

QString summary(const LoggerTable& table, const std::vector<bool>& ticked, TTaskKind kind, bool stopped,
                bool continued, QString* detail) {
    struct Outcome {
        const char* word;
        std::vector<int> rows;
    };
    // In the order a user reads them: what went well first.
    Outcome outcomes[] = {
        {"выполнено", {}}, {"частично", {}}, {"нет измерений", {}}, {"не найден", {}}, {"не опрошен", {}}};
    int answered = 0, total = 0;
    for (int i = 0; i < table.LoggerCount && i < static_cast<int>(ticked.size()); ++i) {
        if (!ticked[static_cast<size_t>(i)])
            continue;
        ++total;
        const uint8_t state = table.loggers[static_cast<size_t>(i)].LoggerState;
        int k = 4;
        if (state == TaskDone)
            k = 0;
        else if (state == StatusLoaded || state == PartlyLoaded)
            k = 1;
        else if (state == NoMeasurements)
            k = 2;
        else if (state == NotFound)
            k = 3;
        answered += k <= 2 ? 1 : 0;
        outcomes[k].rows.push_back(i);
    }
    // An erase the user declined leaves the logger with its status read and its memory whole.
    if (kind == TTaskKind::Erase)
        outcomes[1].word = "не стёрто";
    QString text = (stopped ? QStringLiteral("Остановлено. ") : QString()) + taskName(kind) +
                   (continued ? QStringLiteral(" (продолжение)") : QString()) + QStringLiteral(" — ");
    if (total == 0) {
        if (detail)
            detail->clear();
        return text + QStringLiteral("нет отмеченных логгеров");
    }
    QStringList parts, lines;
    for (const Outcome& o : outcomes) {
        if (o.rows.empty())
            continue;
        parts << QString::fromUtf8(o.word) + ' ' + QString::number(o.rows.size());
        lines << QString::fromUtf8(o.word) + QStringLiteral(": ") + names(table, o.rows);
    }
    if (detail)
        *detail = lines.join('\n');
    return text + QStringLiteral("%1 из %2: ").arg(answered).arg(total) + parts.join(QStringLiteral(", "));
}

QString deviationText(long long seconds) {
    const long long a = seconds < 0 ? -seconds : seconds;
    QString text = seconds > 0 ? QStringLiteral("+") : seconds < 0 ? QStringLiteral("−") : QString();
    if (a >= 3600)
        text += QStringLiteral("%1 ч ").arg(a / 3600);
    if (a >= 60)
        text += QStringLiteral("%1 мин ").arg(a / 60 % 60);
    return text + QStringLiteral("%1 с").arg(a % 60);
}

QString clockHint(const ClockFinding& f, bool checkOnly) {
    if (!f.valid)
        return f.set ? QStringLiteral("Часы не читались — установлены") : QStringLiteral("Часы не читаются");
    QString text = QStringLiteral("Часы: %1 к часам компьютера").arg(deviationText(f.seconds));
    if (f.set)
        return text + QStringLiteral(" — установлены");
    if (!f.leftAlone)
        return text + QStringLiteral(" — вне допуска, установить не удалось");
    return text + (checkOnly ? QStringLiteral(" (только проверка)")
                             : QStringLiteral(", в допуске — не устанавливались"));
}

QString clockNote(const LoggerTable& table, const std::vector<ClockFinding>& findings, bool checkOnly,
                  QStringList* lines) {
    int set = 0, left = 0, failed = 0;
    const ClockFinding* worst = nullptr;
    for (const ClockFinding& f : findings) {
        (f.set ? set : f.leftAlone ? left : failed) += 1;
        if (f.valid && (!worst || std::llabs(f.seconds) > std::llabs(worst->seconds)))
            worst = &f;
        if (lines)
            *lines << names(table, {f.row}) + QStringLiteral(": ") + clockHint(f, checkOnly);
    }
    QStringList parts;
    if (checkOnly)
        parts << QStringLiteral("проверено %1").arg(left);
    else {
        if (left > 0)
            parts << QStringLiteral("в допуске %1").arg(left);
        if (set > 0)
            parts << QStringLiteral("установлены %1").arg(set);
        if (failed > 0)
            parts << QStringLiteral("не установлены %1").arg(failed);
    }
    if (worst)
        parts << QStringLiteral("наибольшее отклонение %1 (%2)")
                     .arg(deviationText(worst->seconds), names(table, {worst->row}));
    return parts.isEmpty() ? QString() : QStringLiteral("часы: ") + parts.join(QStringLiteral(", "));
}

QString splitNote(const LoggerTable& table, const std::vector<int>& moved, const std::vector<int>& stayed,
                  int oldChannel, int newChannel, bool modemMoved) {
    if (moved.empty() || stayed.empty())
        return {};
    QString text = QStringLiteral("Группа разделена: на канал %1 перешли %2; на канале %3 остались %4.")
                       .arg(newChannel)
                       .arg(names(table, moved))
                       .arg(oldChannel)
                       .arg(names(table, stayed));
    if (modemMoved)
        text += QStringLiteral("\r\nЧтобы перевести остальные, верните модему канал %1, отметьте только их и "
                               "повторите смену канала, или вынесите их в отдельный файл конфигурации с "
                               "каналом %1.")
                    .arg(oldChannel);
    else
        text += QStringLiteral("\r\nМодем остался на канале %1. Отметьте только оставшиеся и повторите смену "
                               "канала, или вынесите перешедшие в отдельный файл конфигурации с каналом %2.")
                    .arg(oldChannel)
                    .arg(newChannel);
    return text;
}

} // namespace tasktext
