#include "composition.h"

#include "data/errors.h"
#include "data/prompts.h"
#include "data/query.h"
#include "report/fontcheck.h"
#include "report/layout.h"
#include "report/output.h"
#include "report/preview.h"
#include "report/printing.h"

#include <QPrinter>

#include <algorithm>

namespace tessary {

namespace {

// The size captions print at in custom mode.
constexpr double kCustomCaptionPoints = 7;

bool isDateColumn(const QString &column)
{
    return column.compare(QLatin1String("datejoin"), Qt::CaseInsensitive) == 0 ||
           column.compare(QLatin1String("expiry"), Qt::CaseInsensitive) == 0;
}

// A text prints from its left edge to the cell's right edge and is cut
// there; its box is one line of its font high.
void cutAtCellEdge(ReportText &text, double cellWidth)
{
    text.autoSize = false;
    text.width = std::max(0.0, cellWidth - text.left);
    text.height = measureText(text.font, QStringLiteral("\u00C1g")).height();
}

void sendToPrinter(CardReport &cards, QPrinter &printer, QWidget *owner)
{
    if (printReportTo(cards.report, printer, owner) == PrintResult::Failed)
        throw Error(QStringLiteral("The cards could not be sent to the printer"));
}

} // namespace

void formatCardDateText(QString &text, const QVariant &value, const QLocale &locale)
{
    if (text.isEmpty())
        return;
    QDate date;
    if (value.metaType().id() == QMetaType::QDateTime && value.toDateTime().isValid())
        date = value.toDateTime().date();
    else if (value.metaType().id() == QMetaType::QDate)
        date = value.toDate();
    if (!date.isValid()) {
        QDateTime parsed = locale.toDateTime(text, QLocale::ShortFormat);
        date = parsed.isValid() ? parsed.date() : locale.toDate(text, QLocale::ShortFormat);
    }
    if (date.isValid())
        text = cardDateText(date, locale);
}

std::unique_ptr<CardReport> composeCards(const LayoutSettings &settings, bool a4, CardMode mode, Query &rows)
{
    std::unique_ptr<CardReport> cards = createCardReport(settings.style);
    const CardSheet sheet = cardSheet(settings.style, a4, mode, settings.offsetX, settings.offsetY);
    applyCardSheet(sheet, cards->report.page, *cards->DetailBand1);
    cards->bindRows(rows);

    const QFont sampleFont = settings.sampleFont();
    const QColor sampleColor = settings.sampleColor();
    for (int i = 0; i < kCardRows; ++i) {
        ReportLabel &caption = *cards->TntQRLabel[size_t(i)];
        ReportDataText &data = *cards->TntQRDBText[size_t(i)];
        ReportLine &line = *cards->QRShape[size_t(i)];

        if (settings.custom) {
            data.left = settings.position;
            data.font = ReportFont::fromQFont(sampleFont, sampleColor);
            data.font.bold = true;
            line.color = sampleColor;
            line.enabled = settings.lines;
            caption.font = ReportFont{sampleFont.family(), kCustomCaptionPoints, sampleColor, true, false, false};
            caption.enabled = settings.captions;
        }
        caption.text = settings.rowCaption[size_t(i)];

        // A row without a field (or naming no catalogue row) prints no data
        // and no line.
        const CatalogueEntry *entry = settings.rowEntry(i);
        if (!entry) {
            data.column.clear();
            line.enabled = false;
        } else {
            data.column = entry->fname;
            if (isDateColumn(entry->fname)) {
                const QString column = entry->fname;
                data.printHook = [&rows, column](QString &text) {
                    formatCardDateText(text, rows.fieldByName(column).value());
                };
            }
        }
        cutAtCellEdge(data, sheet.cellWidth);
        cutAtCellEdge(caption, sheet.cellWidth);
    }

    if (settings.printBackground)
        cards->QRImage1->picture = settings.background;
    return cards;
}

void runCards(const LayoutSettings &settings, bool a4, CardMode mode, Query &rows, CardOutput &output)
{
    std::unique_ptr<CardReport> cards = composeCards(settings, a4, mode, rows);
    if (mode == CardMode::Print) {
        output.print(*cards);
        return;
    }
    output.preview(*cards, [&settings, a4, &rows] { return composeCards(settings, a4, CardMode::Print, rows); });
}

// ---------------------------------------------------------------------------

namespace {

// The cards name "Arial"; on a system whose "Arial" has other widths every
// text would print off its laid-out place. Checked at the first card run of
// the program, and said once, so the operator knows why before wasting cards.
void checkCardFontOnce()
{
    static bool checked = false;
    if (checked)
        return;
    checked = true;
    const FontMetricsCheck check = checkArialMetrics();
    if (!check.metricsMatch)
        ShowErrorBox(QStringLiteral("The font Arial is printed as \"%1\", whose character widths differ from "
                                    "Arial's (%2). Card texts will not stand where the layout puts them; "
                                    "install Arial or Liberation Sans.")
                         .arg(check.resolved, check.detail));
}

} // namespace

void SystemCardOutput::print(CardReport &cards)
{
    checkCardFontOnce();
    const QPrinterInfo info = reportDefaultPrinter();
    if (info.isNull())
        return; // no printer installed: nothing is printed, nothing is said
    QPrinter printer(info, QPrinter::HighResolution);
    sendToPrinter(cards, printer, m_owner);
}

void SystemCardOutput::preview(CardReport &cards, const std::function<std::unique_ptr<CardReport>()> &printVersion)
{
    checkCardFontOnce();
    TReportPreview window(cards.report, m_owner);
    // The preview prints the same members laid out for the printer, on the
    // printer chosen in its set-up or else the default one.
    window.setPrintHandler([this, &window, &printVersion] {
        guarded([&] {
            std::unique_ptr<CardReport> printed = printVersion();
            if (QPrinter *chosen = window.chosenPrinter())
                sendToPrinter(*printed, *chosen, &window);
            else
                print(*printed);
        });
    });
    window.exec();
}

} // namespace tessary
