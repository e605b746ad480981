#include "composition.h"

#include "card/cardprinter.h"
#include "data/errors.h"
#include "data/prompts.h"
#include "data/query.h"
#include "photo/picture.h"
#include "report/fontcheck.h"
#include "report/output.h"
#include "report/preview.h"

#include <QPainter>
#include <QPrinter>

namespace tessary {

QueryRecords::QueryRecords(Query &rows) : m_rows(rows)
{
    const int photo = rows.columnIndex(QStringLiteral("photo"));
    for (rows.first(); !rows.eof(); rows.next()) {
        MemberRecord record;
        for (int c = 0; c < rows.columnCount(); ++c) {
            if (c == photo)
                continue;
            Field field = rows.fieldByName(rows.columnName(c));
            record.set(rows.columnName(c), field.text(), field.value());
        }
        m_records.push_back(std::move(record));
    }
}

MemberRecord QueryRecords::at(int index, bool withPhoto) const
{
    MemberRecord record = m_records.at(size_t(index));
    if (withPhoto && m_rows.isOpen() && m_rows.columnIndex(QStringLiteral("photo")) >= 0) {
        m_rows.setRecNo(index);
        record.photo = m_rows.fieldByName(QStringLiteral("photo")).asBytes();
    }
    return record;
}

RenderOptions cardRenderOptions()
{
    RenderOptions options;
    options.decodePhoto = [](const QByteArray &bytes) { return LoadPictureFromBlob(bytes); };
    return options;
}

CardJob composeCards(const CardDesign &design, const Stock &stock, std::shared_ptr<const MemberRecords> records)
{
    CardJob job;
    job.design = design;
    job.pages = placeCards(stock, records ? records->size() : 0, int(design.sides.size()),
                           QSizeF(design.width.toMm(), design.height.toMm()));
    job.records = records ? std::move(records) : std::make_shared<RecordList>();
    job.title = design.name;
    return job;
}

CardJob frontsOnly(const CardJob &cards)
{
    CardJob fronts = cards;
    fronts.design.sides.resize(1);
    fronts.pages = placeCards(cards.pages.stock, cards.records->size(), 1,
                              QSizeF(cards.design.width.toMm(), cards.design.height.toMm()));
    return fronts;
}

QString cardProblemsMessage(const CardJob &cards, const CardProblems &problems)
{
    // On a two-sided card each problem says which side it is on.
    CardProblems named;
    for (const CardProblem &p : problems.list()) {
        QString reason = p.reason;
        for (size_t side = 0; cards.sides() > 1 && side < cards.design.sides.size(); ++side)
            if (cards.design.sides[side].find(p.element))
                reason = QStringLiteral("%1: %2").arg(cards.design.sides[side].name, p.reason);
        named.add(p.record, p.element, reason);
    }
    return named.message([&cards](int record) {
        return record >= 0 && record < cards.records->size() ? cards.records->at(record, false).text(QStringLiteral("name"))
                                                             : QString();
    });
}

void runCards(const CardDesign &design, const Stock &stock, const std::shared_ptr<const MemberRecords> &records,
              CardMode mode, CardOutput &output, const std::optional<Stock> &printStock)
{
    CardProblems problems;
    CardJob cards = composeCards(design, stock, records);
    cards.options.problems = &problems;
    if (mode == CardMode::Print) {
        output.print(cards);
    } else {
        const Stock printed = printStock.value_or(stock);
        output.preview(cards, [&design, printed, records, &problems] {
            CardJob job = composeCards(design, printed, records);
            job.options.problems = &problems;
            return job;
        });
        // Pages the preview never showed are laid out to find theirs.
        for (int page = 0; page < cards.pageCount(); ++page)
            cards.items(page, false);
    }
    const QString message = cardProblemsMessage(cards, problems);
    if (!message.isEmpty())
        ShowErrorBox(message);
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

void SystemCardOutput::print(const CardJob &cards)
{
    checkCardFontOnce();
    const QPrinterInfo info = reportDefaultPrinter();
    if (info.isNull())
        return; // no printer installed: nothing is printed, nothing is said
    QPrinter printer(info, QPrinter::HighResolution);
    printCards(cards, printer, m_owner);
}

void SystemCardOutput::preview(const CardJob &cards, const std::function<CardJob()> &printVersion)
{
    checkCardFontOnce();
    CardDocument document(cards);
    TReportPreview window(document, m_owner);
    // The preview prints the same members laid out for the printer, on the
    // printer chosen in its set-up or else the default one.
    window.setPrintHandler([this, &window, &printVersion] {
        guarded([&] {
            const CardJob printed = printVersion();
            if (QPrinter *chosen = window.chosenPrinter())
                printCards(printed, *chosen, &window);
            else
                print(printed);
        });
    });
    window.exec();
}

} // namespace tessary
