#include "report/VisitPdf.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <numeric>

namespace visitreport {

namespace {

// Shares of the page's width, column by column: the comment, the file and the warnings take
// words that must wrap; numbers need little.
constexpr double kWidths[] = {9, 11.5, 9.5, 6, 7.5, 9.5, 8, 7.5, 5.5, 5.5, 5, 11, 12.5};
constexpr double kPad = 1.2; // mm inside each cell

QString q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

class Table {
public:
    Table(QPdfWriter& writer, QPainter& painter) : writer_(writer), p_(painter) {
        const double unitsPerMm = writer.resolution() / 25.4;
        mm_ = unitsPerMm;
        page_ = painter.viewport();
        const double total = std::accumulate(std::begin(kWidths), std::end(kWidths), 0.0);
        for (double w : kWidths)
            widths_.push_back(w / total * page_.width());
        body_.setPointSizeF(7.5);
        // No ligatures: a file name copied out of the report must read as it was written.
        body_.setStyleStrategy(QFont::PreferNoShaping);
        head_ = body_;
        head_.setBold(true);
        title_ = body_;
        title_.setPointSizeF(13);
        title_.setBold(true);
    }

    void heading(const QStringList& lines) {
        p_.setFont(title_);
        const QFontMetricsF tm(title_, &writer_);
        y_ += tm.height();
        p_.drawText(QPointF(0, y_), QStringLiteral("Отчёт о выезде"));
        y_ += 2 * mm_;
        p_.setFont(body_);
        const QFontMetricsF bm(body_, &writer_);
        for (const QString& line : lines) {
            y_ += bm.height();
            p_.drawText(QPointF(0, y_), line);
        }
        y_ += 3 * mm_;
    }

    void header(const QStringList& cells) {
        header_ = cells;
        row(cells, true);
    }

    void row(const QStringList& cells, bool isHeader = false) {
        const QFont& font = isHeader ? head_ : body_;
        const double h = height(cells, font);
        if (y_ + h > page_.height() - footerSpace() && !isHeader) {
            newPage();
            row(header_, true);
        }
        p_.setFont(font);
        double x = 0;
        if (isHeader)
            p_.fillRect(QRectF(0, y_, page_.width(), h), QColor(225, 230, 240));
        else if (++rows_ % 2 == 0)
            p_.fillRect(QRectF(0, y_, page_.width(), h), QColor(246, 246, 246));
        p_.setPen(QPen(QColor(120, 120, 120), 0));
        for (int c = 0; c < cells.size(); ++c) {
            const QRectF cell(x, y_, widths_[static_cast<size_t>(c)], h);
            p_.drawRect(cell);
            p_.setPen(Qt::black);
            p_.drawText(cell.adjusted(kPad * mm_, kPad * mm_, -kPad * mm_, -kPad * mm_),
                        Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, cells[c]);
            p_.setPen(QPen(QColor(120, 120, 120), 0));
            x += widths_[static_cast<size_t>(c)];
        }
        y_ += h;
    }

    void finish() { footer(); }

private:
    double footerSpace() const { return 8 * mm_; }

    double height(const QStringList& cells, const QFont& font) const {
        const QFontMetricsF fm(font, &writer_);
        double h = fm.height();
        for (int c = 0; c < cells.size(); ++c) {
            const double w = widths_[static_cast<size_t>(c)] - 2 * kPad * mm_;
            const QRectF r = fm.boundingRect(QRectF(0, 0, w, 1e9),
                                             Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, cells[c]);
            h = std::max(h, r.height());
        }
        return h + 2 * kPad * mm_;
    }

    void footer() {
        p_.setFont(body_);
        p_.setPen(Qt::black);
        p_.drawText(QRectF(0, page_.height() - 5 * mm_, page_.width(), 5 * mm_),
                    Qt::AlignRight | Qt::AlignBottom, QStringLiteral("Стр. %1").arg(pageNumber_));
    }

    void newPage() {
        footer();
        writer_.newPage();
        ++pageNumber_;
        y_ = 0;
    }

    QPdfWriter& writer_;
    QPainter& p_;
    QRect page_;
    double mm_ = 1;
    std::vector<double> widths_;
    QFont body_, head_, title_;
    QStringList header_;
    double y_ = 0;
    int rows_ = 0;
    int pageNumber_ = 1;
};

QStringList texts(const std::vector<std::string>& v) {
    QStringList out;
    for (const std::string& s : v)
        out << q(s);
    return out;
}

} // namespace

bool writeReport(const VisitReport& report, const std::string& pdfPath, std::string& error) {
    QSaveFile pdf(q(pdfPath));
    if (!pdf.open(QIODevice::WriteOnly)) {
        error = "Не удалось записать файл " + pdfPath + " (" + pdf.errorString().toStdString() + ")";
        return false;
    }
    {
        QPdfWriter writer(&pdf);
        writer.setTitle(QStringLiteral("Отчёт о выезде"));
        writer.setCreator(QStringLiteral("Kestrovane"));
        writer.setResolution(300);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
        QPainter painter;
        if (!painter.begin(&writer)) {
            error = "Не удалось начать файл " + pdfPath;
            return false;
        }
        Table table(writer, painter);
        table.heading(texts(headingLines(report)));
        table.header(texts(columns()));
        for (const VisitLogger& l : report.loggers)
            table.row(texts(rowTexts(l)));
        table.finish();
        painter.end();
    }
    const std::string csvPath = csvPathFor(pdfPath);
    QSaveFile csv(q(csvPath));
    const std::string csvText = toCsv(report);
    if (!csv.open(QIODevice::WriteOnly) || csv.write(csvText.data(), static_cast<qint64>(csvText.size())) !=
                                               static_cast<qint64>(csvText.size())) {
        error = "Не удалось записать файл " + csvPath;
        return false;
    }
    if (!pdf.commit()) {
        error = "Не удалось записать файл " + pdfPath + " (" + pdf.errorString().toStdString() + ")";
        return false;
    }
    if (!csv.commit()) {
        error = "Не удалось записать файл " + csvPath;
        return false;
    }
    return true;
}

} // namespace visitreport
