#include "cardreports.h"

#include "data/query.h"
#include "photo/picture.h"

namespace tessary {

namespace {

// Height of a row line's box; the line is drawn at half of it.
constexpr double kLineBox = 0.4;

} // namespace

CardSheet cardSheet(CardStyle style, bool a4, CardMode mode, int offsetX, int offsetY)
{
    const double dx = offsetX / 10.0;
    const double dy = offsetY / 10.0;
    CardSheet s;
    if (style != CardStyle::Style3) {
        s.orientation = QPageLayout::Portrait;
        s.cellWidth = 88;
        if (!a4) {
            s.paper = Paper::A6;
            s.pageWidth = 105;
            s.pageHeight = 148;
            s.cellHeight = 65;
            s.columns = 1;
            s.columnPitch = 88;
            s.rows = 2;
            s.x0 = 8.5 + dx;
            s.y0 = 13.5 + dy;
        } else {
            s.paper = Paper::A4;
            s.pageWidth = 210;
            s.pageHeight = 297;
            s.cellHeight = 56;
            s.columns = 2;
            s.columnPitch = 98;
            s.rows = 5;
            s.x0 = 12 + dx;
            s.y0 = 8.5 + dy;
        }
        return s;
    }

    // Style 3: portrait cards side by side on a landscape sheet. The
    // preview lays the sheet out as an upright page of the same size; the
    // printer gets the real sheet turned, which swaps the offsets' effect.
    const bool print = mode == CardMode::Print;
    s.cellWidth = 56;
    if (!a4) {
        s.pageWidth = 148;
        s.pageHeight = 105;
        s.cellHeight = 88;
        s.columns = 2;
        s.columnPitch = 65;
        s.rows = 1;
        s.x0 = 13.5 + (print ? dy : dx);
        s.y0 = 8.5 + (print ? dx : dy);
        s.paper = print ? Paper::A6 : Paper::Custom;
    } else {
        s.pageWidth = 297;
        s.pageHeight = 210;
        s.cellHeight = 98;
        s.columns = 5;
        s.columnPitch = 56;
        s.rows = 2;
        s.x0 = 8.5 + (print ? dy : dx);
        s.y0 = 12 + (print ? dx : dy);
        s.paper = print ? Paper::A4 : Paper::Custom;
    }
    s.orientation = print ? QPageLayout::Landscape : QPageLayout::Portrait;
    return s;
}

void applyCardSheet(const CardSheet &sheet, PageSetup &page, ReportBand &band)
{
    page.paper = sheet.paper;
    page.orientation = sheet.orientation;
    if (sheet.orientation == QPageLayout::Landscape) {
        page.paperWidth = sheet.pageHeight;
        page.paperLength = sheet.pageWidth;
    } else {
        page.paperWidth = sheet.pageWidth;
        page.paperLength = sheet.pageHeight;
    }
    const double gap = sheet.columnPitch - sheet.cellWidth;
    page.columns = sheet.columns;
    page.columnGap = gap;
    page.leftMargin = sheet.x0;
    page.topMargin = sheet.y0;
    // The right margin leaves exactly the cells' width for the columns.
    page.rightMargin = sheet.pageWidth - sheet.x0 - sheet.columns * sheet.cellWidth - gap * (sheet.columns - 1);
    // The bottom margin lets `rows` bands fit in a column and no more; half a
    // cell of slack keeps that true whatever the rounding. It may lie below
    // the sheet's edge: margins here only steer the flow of bands.
    page.bottomMargin = sheet.pageHeight - sheet.y0 - sheet.rows * sheet.cellHeight - sheet.cellHeight / 2;
    band.width = sheet.cellWidth;
    band.height = sheet.cellHeight;
}

QString dateSeparator(const QLocale &locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    bool inQuote = false;
    bool seenField = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) {
            inQuote = !inQuote;
            continue;
        }
        if (inQuote)
            continue;
        if (c == QLatin1Char('d') || c == QLatin1Char('M') || c == QLatin1Char('y')) {
            seenField = true;
            continue;
        }
        // A blank only spaces the fields of a written-out date ("5 Mar 2024"
        // in the C locale); the separator is the mark between numeric fields.
        if (seenField && !c.isLetter() && !c.isSpace())
            return QString(c);
    }
    return QStringLiteral("/");
}

QString cardDateText(const QDate &date, const QLocale &locale)
{
    if (!date.isValid())
        return QString();
    return QString::number(date.day()) + dateSeparator(locale) + locale.monthName(date.month(), QLocale::ShortFormat) +
           QStringLiteral(", ") + QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
}

// ---------------------------------------------------------------------------

CardReport::CardReport(CardStyle style, const QRectF &background, const QRectF &photo,
                       const std::array<RowPlace, kCardRows> &rows)
    : m_style(style)
{
    DetailBand1 = &report.addBand(QStringLiteral("DetailBand1"));
    QRImage1 = &DetailBand1->add<ReportImage>(QStringLiteral("QRImage1"));
    QRImage1->setBox(background.left(), background.top(), background.width(), background.height());
    qrPhoto = &DetailBand1->add<ReportImage>(QStringLiteral("qrPhoto"));
    qrPhoto->setBox(photo.left(), photo.top(), photo.width(), photo.height());

    for (int i = 0; i < kCardRows; ++i) {
        const RowPlace &r = rows[size_t(i)];
        ReportLine &line = DetailBand1->add<ReportLine>(QStringLiteral("QRShape%1").arg(i + 1));
        line.setBox(r.lineFrom, r.lineY - kLineBox / 2, r.lineTo - r.lineFrom, kLineBox);
        QRShape[size_t(i)] = &line;
    }
    for (int i = 0; i < kCardRows; ++i) {
        const RowPlace &r = rows[size_t(i)];
        ReportDataText &text = DetailBand1->add<ReportDataText>(QStringLiteral("TntQRDBText%1").arg(i + 1));
        text.left = r.textLeft;
        text.top = r.textTop;
        text.font = ReportFont{QStringLiteral("Arial"), 10, Qt::black};
        text.alignment = TextAlignment::Left;
        text.autoSize = true;
        text.transparent = true;
        TntQRDBText[size_t(i)] = &text;
    }
    for (int i = 0; i < kCardRows; ++i) {
        const RowPlace &r = rows[size_t(i)];
        ReportLabel &label = DetailBand1->add<ReportLabel>(QStringLiteral("TntQRLabel%1").arg(i + 1));
        label.left = r.captionLeft;
        label.top = r.captionTop;
        label.font = ReportFont{QStringLiteral("Arial"), 8, Qt::black};
        label.alignment = TextAlignment::Left;
        label.autoSize = true;
        label.transparent = true;
        TntQRLabel[size_t(i)] = &label;
    }
}

// The member query as the engine walks it. The layout walks it from the
// first row with next(); painting a page goes straight to the rows placed
// on it with moveTo(), which tells the photo hook that a picture is wanted.
class CardReport::Rows : public RowSource
{
public:
    explicit Rows(Query &query) : m_rows(query) {}

    void first() override
    {
        painting = false;
        m_rows.first();
    }
    void next() override { m_rows.next(); }
    bool eof() const override { return m_rows.eof(); }
    int rowIndex() const override { return m_rows.rowIndex(); }
    void moveTo(int row) override
    {
        painting = true;
        m_rows.moveTo(row);
    }
    QString text(const QString &column) override { return m_rows.text(column); }

    bool painting = false;

private:
    QueryRowSource m_rows;
};

CardReport::~CardReport() = default;

void CardReport::bindRows(Query &rows)
{
    m_rows = &rows;
    m_source = std::make_unique<Rows>(rows);
    report.setRowSource(m_source.get());
    DetailBand1->beforePrint = [this] { loadPhoto(); };
}

void CardReport::loadPhoto()
{
    if (!m_rows || m_rows->eof())
        return;
    if (!m_source->painting) {
        qrPhoto->picture = QImage();
        return;
    }
    qrPhoto->picture = LoadPictureFromBlob(m_rows->fieldByName(QStringLiteral("photo")).asBytes());
}

// ---------------------------------------------------------------------------

TrptFmt1::TrptFmt1()
    : CardReport(CardStyle::Style1, QRectF(0, 0, 87.99, 56.00), QRectF(3.53, 21.17, 21.02, 27.93),
                 {{{26.84, 16.44, 45.17, 15.50, 44.10, 83.64, 20.06},
                   {26.84, 21.54, 45.17, 20.60, 44.10, 83.64, 25.36},
                   {26.84, 26.84, 45.17, 25.89, 44.10, 83.64, 30.65},
                   {26.84, 32.32, 45.17, 31.18, 44.10, 83.64, 35.94},
                   {26.84, 37.42, 45.17, 36.66, 44.10, 83.64, 41.23},
                   {26.84, 42.90, 45.17, 41.77, 44.10, 83.64, 46.52},
                   {26.84, 48.00, 45.17, 47.06, 44.10, 83.64, 51.81}}})
{
    report.page.title = QStringLiteral("rptFmt1");
}

TrptFmt2::TrptFmt2()
    : CardReport(CardStyle::Style2, QRectF(-0.20, -0.20, 88.00, 55.00), QRectF(61.74, 19.99, 21.02, 27.93),
                 {{{1.47, 16.46, 19.11, 15.29, 18.81, 58.36, 20.06},
                   {1.47, 21.75, 19.11, 20.58, 18.81, 58.36, 25.36},
                   {1.47, 27.05, 19.11, 25.87, 18.81, 58.36, 30.65},
                   {1.47, 32.34, 19.11, 31.16, 18.81, 58.36, 35.94},
                   {1.47, 37.63, 19.11, 36.45, 18.81, 58.36, 41.23},
                   {1.47, 42.92, 19.11, 41.75, 18.81, 58.36, 46.52},
                   {1.47, 48.21, 19.11, 47.04, 18.81, 58.36, 51.81}}})
{
    report.page.title = QStringLiteral("rptFmt2");
}

TrptFmt3::TrptFmt3()
    : CardReport(CardStyle::Style3, QRectF(0, 0, 56.00, 88.00), QRectF(16.46, 17.64, 21.02, 27.93),
                 {{{2.94, 46.74, 21.46, 46.30, 21.17, 54.09, 50.80},
                   {2.94, 52.03, 21.46, 51.59, 21.17, 54.09, 56.09},
                   {2.94, 57.33, 21.46, 56.89, 21.17, 54.09, 61.38},
                   {2.94, 62.62, 21.46, 61.59, 21.17, 54.09, 66.67},
                   {2.94, 67.91, 21.46, 67.47, 21.17, 54.09, 71.97},
                   {2.94, 73.20, 21.46, 72.17, 21.17, 54.09, 77.26},
                   {2.94, 78.49, 21.46, 78.05, 21.17, 54.09, 82.55}}})
{
    report.page.title = QStringLiteral("rptFmt3");
}

std::unique_ptr<CardReport> createCardReport(CardStyle style)
{
    switch (style) {
    case CardStyle::Style2:
        return std::make_unique<TrptFmt2>();
    case CardStyle::Style3:
        return std::make_unique<TrptFmt3>();
    case CardStyle::Style1:
        break;
    }
    return std::make_unique<TrptFmt1>();
}

} // namespace tessary
