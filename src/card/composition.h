#pragma once

// Composing cards: the report of the layout's style set up from the layout
// settings for an open member query, and where its pages go.

#include "card/cardreports.h"

#include <functional>
#include <memory>

class QWidget;

namespace tessary {

// A date text as cards print it. `text` is what the data text is about to
// print for `value` (the row's stored date): when it is that date's text,
// or otherwise reads as a date in the locale's short form, it becomes the
// card's date text. Empty texts stay empty; anything else stays unchanged.
void formatCardDateText(QString &text, const QVariant &value, const QLocale &locale = QLocale::system());

// A card report for `settings` on the stored paper (`a4`: the stored paper
// number is not 0) in `mode`, bound to `rows`. Sets up the page, the seven
// rows (custom fonts, captions, columns, date hooks, lines) and the
// background when it is to be printed. Every text is cut at the card cell's
// right edge.
std::unique_ptr<CardReport> composeCards(const LayoutSettings &settings, bool a4, CardMode mode, Query &rows);

// Where a card run's pages go.
class CardOutput
{
public:
    virtual ~CardOutput() = default;

    // Print mode: sends the pages to the printer.
    virtual void print(CardReport &cards) = 0;
    // Preview mode: shows the pages and returns when the preview is closed.
    // `printVersion` makes the same cards laid out in print geometry; the
    // preview's own print command prints that.
    virtual void preview(CardReport &cards, const std::function<std::unique_ptr<CardReport>()> &printVersion) = 0;
};

// The real output: the default printer (nothing happens when there is
// none) and the modal window "Print Preview".
class SystemCardOutput : public CardOutput
{
public:
    explicit SystemCardOutput(QWidget *owner = nullptr) : m_owner(owner) {}

    void print(CardReport &cards) override;
    void preview(CardReport &cards, const std::function<std::unique_ptr<CardReport>()> &printVersion) override;

private:
    QWidget *m_owner;
};

// The card run: composes the cards of `settings` for the open `rows` and
// sends them to `output` in `mode`.
void runCards(const LayoutSettings &settings, bool a4, CardMode mode, Query &rows, CardOutput &output);

} // namespace tessary
