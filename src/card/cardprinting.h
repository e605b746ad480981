#pragma once

// The card printing and preview commands: which member rows go into QList,
// and the card run on them with the stored layout.

#include "card/composition.h"
#include "data/datasrc.h"

#include <QStringList>

#include <optional>
#include <vector>

namespace tessary {

class TFmLayout;

// The message for what of the layout's design document could not be used
// ("Part of the stored card design cannot be used and is left out: ...").
QString partlyUnusableDesign(const QString &problem);

// The card of the one member whose key (`stafftbl.seq`) is `seq`, with its
// group. Without a key (an empty member list) the statement selects no row.
QStringList memberCardSql(std::optional<int> seq);
// The cards of every member of group `groupId`.
QStringList groupCardsSql(int groupId);
// The cards of the members whose keys are `keys`, in the order of the keys.
QStringList memberKeysCardsSql(const std::vector<qint64> &keys);
// The layout dialog's sample: the first 2 members for stored paper 0 (one
// A6 sheet), else the first 10 (one A4 sheet).
QStringList previewSampleSql(int storedPaper);
// The sample for a paper: 10 members for an A4 sheet, else 2 (an A6 sheet,
// or two ID-1 cards).
QStringList previewSampleSql(CardPaper paper);

// The card run of a layout: `settings` as a design on the paper the stored
// layout chose (`storedPaper` is its `psize`; the layout's design document
// may choose an ID-1 card), for the rows of the open QList, in `mode`. A
// design document that cannot be used is said once and the stored paper
// printed.
void runLayoutCards(Tdsrc &data, const LayoutSettings &settings, int storedPaper, CardMode mode, CardOutput &output);

// The commands. Each main-window command reads the stored layout (a loading
// error is shown and the run goes on with what loaded) and runs the cards
// with it; errors propagate to the caller (which shows them with the general
// error report).
class CardPrinting
{
public:
    CardPrinting(Tdsrc &data, CardOutput &output) : m_data(data), m_output(output) {}

    // "Preview": the current member of QStaff (by its key), previewed; QList
    // is closed afterwards.
    void Preview();
    // "Print" / "Print Card": the current member's card printed; QList is
    // closed afterwards.
    void Print();
    // "Print All": asks "Are you sure to print all cards now?"; on Yes the
    // cards of group `groupId` are printed and QList is left open.
    void PrintAll(int groupId);
    // "Print Found": the cards of the members whose keys are `keys` are
    // printed (the caller has asked) and QList is left open. No keys:
    // nothing is printed.
    void PrintMembers(const std::vector<qint64> &keys);
    // The layout dialog's "Preview": the sample members with the dialog's
    // current (unsaved) settings on its stored paper.
    void PreviewSample(TFmLayout &dialog);

private:
    void selectCurrentMember();
    void storedRun(CardMode mode);

    Tdsrc &m_data;
    CardOutput &m_output;
};

} // namespace tessary
