#pragma once

// Composing cards: a design on a stock for the members of a run, and where
// its pages go. Cards render from member records through the card model's
// renderer.

#include "card/carddesigns.h"
#include "cardmodel/carddate.h"
#include "cardmodel/renderer.h"

#include <functional>
#include <memory>

class QWidget;

namespace tessary {

class Query;

// The rows of an open member query as records: every column's text and
// value is read when the records are made; a row's photo is read from the
// query when its card is painted (the query stays open meanwhile).
class QueryRecords : public MemberRecords
{
public:
    explicit QueryRecords(Query &rows);
    int size() const override { return int(m_records.size()); }
    MemberRecord at(int index, bool withPhoto) const override;

private:
    Query &m_rows;
    std::vector<MemberRecord> m_records;
};

// The options cards are painted with: photos decoded as stored pictures (a
// missing or unreadable one is the blank placeholder), dates in the
// desktop's language.
RenderOptions cardRenderOptions();

// The pages of one card run: the design, where its cards stand on the
// stock's pages, and the members they show.
struct CardJob
{
    CardDesign design;
    CardPages pages;
    std::shared_ptr<const MemberRecords> records;
    RenderOptions options = cardRenderOptions();
    QString title;

    int pageCount() const { return pages.pageCount(); }
    int sides() const { return int(design.sides.size()); }
    // What page `page` draws (see pageItems in the renderer).
    std::vector<CardItem> items(int page, bool pictures) const
    {
        return pageItems(design, pages, page, *records, pictures, options);
    }
};

// One card per record (each of the design's sides in turn) on `stock`.
CardJob composeCards(const CardDesign &design, const Stock &stock, std::shared_ptr<const MemberRecords> records);

// The same cards without their backs.
CardJob frontsOnly(const CardJob &cards);

// The message after a run listing the members whose cards could not be
// printed as designed (a barcode left out, and why, after the side it is on
// when the card has two); empty when none.
QString cardProblemsMessage(const CardJob &cards, const CardProblems &problems);

// Where a card run's pages go.
class CardOutput
{
public:
    virtual ~CardOutput() = default;

    // Print mode: sends the pages to the printer.
    virtual void print(const CardJob &cards) = 0;
    // Preview mode: shows the pages and returns when the preview is closed.
    // `printVersion` makes the same cards laid out for the printer; the
    // preview's own print command prints that.
    virtual void preview(const CardJob &cards, const std::function<CardJob()> &printVersion) = 0;
};

// The real output: the default printer (nothing happens when there is
// none) and the modal window "Print Preview".
class SystemCardOutput : public CardOutput
{
public:
    explicit SystemCardOutput(QWidget *owner = nullptr) : m_owner(owner) {}

    void print(const CardJob &cards) override;
    void preview(const CardJob &cards, const std::function<CardJob()> &printVersion) override;

private:
    QWidget *m_owner;
};

// The card run: the cards of `design` on `stock` for `records`, sent to
// `output` in `mode`. A preview prints on `printStock` (the stock itself
// when none is given). Afterwards one message lists the members whose cards
// could not be printed as designed.
void runCards(const CardDesign &design, const Stock &stock, const std::shared_ptr<const MemberRecords> &records,
              CardMode mode, CardOutput &output, const std::optional<Stock> &printStock = std::nullopt);

} // namespace tessary
