#pragma once

// Card pages to a printer or a PDF file. Sheets (A6, A4) print at the
// sheet's own size from its corner; ID-1 cards print one per page at the
// printer's own card size (cardStockSize), centred on the driver's page,
// with the job asking CUPS not to scale.

#include "card/composition.h"
#include "report/preview.h"

class QPrinter;

namespace tessary {

// Prints the cards on `printer`. A card run on an ID-1 stock needs a printer
// with a card size: without one "The printer <name> has no ID-1 card size."
// is shown and nothing is printed. Throws when the printer refuses the page
// set-up or the job cannot be sent.
void printCards(const CardJob &cards, QPrinter &printer, QWidget *owner = nullptr);

// "Save as PDF": every page at the stock's page size (an ID-1 card's page
// 85.60 x 53.98 mm to 0.01 mm), replacing the file only when whole.
bool writeCardsPdfFile(const CardJob &cards, const QString &fileName, QString *error = nullptr);

// A card run's pages as the preview window shows, saves and prints them.
class CardDocument : public PreviewDocument
{
public:
    explicit CardDocument(const CardJob &cards) : m_cards(cards) {}

    int pageCount() const override { return m_cards.pageCount(); }
    QSizeF pageSizeMm() const override { return m_cards.pages.pageSizeMm(); }
    QPageLayout pageLayout() const override { return m_cards.pages.stock.qPageLayout(); }
    void paintPage(int page, QPainter &painter) override;
    bool writePdf(const QString &fileName, QString *error) override { return writeCardsPdfFile(m_cards, fileName, error); }
    void print(QPrinter &printer, QWidget *owner) override { printCards(m_cards, printer, owner); }

private:
    const CardJob &m_cards;
};

} // namespace tessary
