#include "ui/TfrmAbout.h"

#include "engine/LoggerTable.h"
#include "ui/Pictures.h"

#include <QLabel>
#include <QTextBrowser>

namespace {
// The pictures' place is 300 x 300; the guide beside it scrolls when it needs more.
constexpr int kSide = 300;

const char* const kColourNames[] = {"чёрный", "красный", "жёлтый", "зелёный", "ярко-зелёный", "белый"};
const char* const kLampNote =
    "Красная точка перед столбцами — ошибка логгера (её текст во всплывающей подсказке).";

QString lightRow(int code, const char* colourName) {
    const StateLook& look = stateLook(code);
    // A framed swatch, so that the white light shows on the white page too.
    return QStringLiteral(
               "<tr><td width=\"14\" bgcolor=\"%1\" style=\"border: 1px solid #808080\">&nbsp;</td>"
               "<td>&nbsp;%2 — %3</td></tr>")
        .arg(QColor(look.r, look.g, look.b).name(), QString::fromUtf8(colourName),
             QString::fromUtf8(look.hint));
}
} // namespace

QString TfrmAbout::guideText() {
    QString html = QStringLiteral(
        "<h3>Как проходит выезд</h3><ol>"
        "<li><b>Группа.</b> Кнопка с папкой слева вверху открывает файл группы (*.cfg). Каждый логгер "
        "получает строку; отметьте тех, с кем будете работать. При следующем запуске откроется та же "
        "группа.</li>"
        "<li><b>Модем.</b> Вставьте переходник USB/RK и включите «модем». Внизу слева появится «USB/RK …». "
        "Если модем не найден, программа скажет почему: порт занят другой программой или ни один порт "
        "не ответил.</li>"
        "<li><b>Данные.</b> Проверьте «начать с даты» (и «завершить по дату», если нужна не вся память; "
        "«только новые» — только то, чего ещё нет в архиве) и включите «данные». Стрелки показывают "
        "логгер и попытку. В конце внизу справа итог, например «7 из 8: выполнено 6, частично 1, не "
        "найден 1»; наведите на него, чтобы увидеть имена. Не ответившие спрашиваются снова в следующей "
        "попытке («стратегия»).</li>"
        "<li><b>Сохранение.</b> Кнопка с дискетой: имя файла уже предложено (группа, дата и время). "
        "Файл откроется в Ormix, если отмечен флажок рядом. Каждая принятая запись, кроме того, сразу "
        "попадает в архив: Ormix, «Файл → Открыть архив…».</li>"
        "<li><b>Часы.</b> «время» ставит часы логгеров по компьютеру. Число рядом — допуск в секундах: "
        "часы, отклонившиеся не больше, остаются как есть, остальные ставятся и проверяются ещё раз "
        "(0 — ставить всем). Правая кнопка мыши на «время» — «только проверить». Отклонение каждого "
        "логгера — в подсказке к его часам и в итоге внизу.</li>"
        "<li><b>Обслуживание.</b> «стереть» очищает память логгеров; логгер, записей которого нет в "
        "архиве, программа назовёт и спросит отдельно. «период» задаёт период измерений в часах, "
        "«замер» — измерение сейчас, «канал» переводит логгеров на другой канал; затем исправьте строку "
        "Channel в файле группы. Правая кнопка мыши на списке — «Отчёт о выезде…».</li>"
        "<li><b>Выдернут кабель.</b> Загруженное остаётся. Вставьте переходник, включите «модем» и "
        "снова «данные»: загрузка продолжится с того места, где прервалась.</li>"
        "</ol><h3>Огоньки в списке</h3><table cellspacing=\"2\" cellpadding=\"0\" style=\"border-collapse: "
        "separate\">");
    for (int code = NotPolled; code <= NoMeasurements; ++code)
        html += lightRow(code, kColourNames[code]);
    html +=
        QStringLiteral("</table><p>") + QString::fromUtf8(kLampNote) +
        QStringLiteral(
            " Внутреннее время красным — часы логгера расходятся с компьютером больше чем на час.</p>"
            "<h3>Значения в строке</h3><p>SN тк — номер термокосы, дат — датчиков, период — часов между "
            "измерениями, замеров — измерений в памяти, внутреннее время — часы логгера, комментарии — из "
            "файла группы. После комментариев: батарея (В), сигнал (дБм) и на сколько часы логгера спешат "
            "(+) или отстают (−).</p>");
    return html;
}

TfrmAbout::TfrmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("О программе"));
    setModal(false);
    ImageAbout = new QLabel(this);
    ImageAbout->setObjectName(QStringLiteral("ImageAbout"));
    ImageAbout->setGeometry(0, 0, kSide, kSide);
    ImageAbout->setPixmap(aboutPicture());
    TextGuide = new QTextBrowser(this);
    TextGuide->setObjectName(QStringLiteral("TextGuide"));
    TextGuide->setAccessibleName(QStringLiteral("Как работать с программой"));
    TextGuide->setGeometry(kSide, 0, kGuideWidth, kSide);
    TextGuide->setHtml(guideText());
    setFixedSize(kSide + kGuideWidth, kSide);
    setSizeGripEnabled(false);
}

QString TfrmAbout::lightsLegend() {
    QString text = QStringLiteral("Огонёк слева от имени логгера:");
    for (int code = NotPolled; code <= NoMeasurements; ++code)
        text += QStringLiteral("\n%1 — %2")
                    .arg(QString::fromUtf8(kColourNames[code]), QString::fromUtf8(stateLook(code).hint));
    return text + '\n' + QString::fromUtf8(kLampNote);
}

void TfrmAbout::showCentredOn(QWidget* owner) {
    if (!isVisible() && owner != nullptr) {
        const QRect frame = owner->frameGeometry();
        move(frame.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
    activateWindow();
}
