#pragma once

#include "card/composition.h"
#include "card/layoutsettings.h"
#include "data/datasrc.h"

#include <QDialog>

namespace tessary {

// The card layout dialog object. It opens its own queries `param` and
// `fields` on the card database and keeps them open for its lifetime, and
// loads the stored layout into `settings` when it is created. Print and
// preview commands create one without showing it, only to hold the stored
// settings; the dialog "Card Layout" edits the same value through its
// controls.
class TFmLayout : public QDialog
{
    Q_OBJECT
public:
    // Loads the stored settings. A loading error is shown by the general
    // error report; what loaded before it stays, the rest keeps the initial
    // states.
    explicit TFmLayout(Tdsrc &data, QWidget *parent = nullptr);
    ~TFmLayout() override;

    Tdsrc &data() const { return m_data; }

    // The working copy of the layout.
    LayoutSettings settings;

    Query param;
    Query fields;

    // Loads the stored settings into `settings` (throws on a database error).
    void LoadSettings();
    // Writes `settings` into the database, reloads the field lists and shows
    // "Settings are saved.".
    void SaveSettings();
    // Field lists, row selections, paper, alignment, offsets and captions
    // again from what is stored.
    void ReloadFieldLists();

    // The value of a column of the open `param` row as an integer, exactly
    // as stored (no range applied).
    int ReadStoredInteger(const QString &column);

    // The card run: the cards of the rows of the open member query `QList`
    // with these settings, on the stored paper (not the one being edited),
    // printed or previewed through `output`. QList is neither opened nor
    // closed here.
    void CardRun(CardMode mode, CardOutput &output);

private:
    Tdsrc &m_data;
};

} // namespace tessary
