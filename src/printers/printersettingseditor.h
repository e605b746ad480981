#pragma once

// What "Printer Settings…" edits, without its window: the printers, the
// settings of each printer looked at, and the two-sided options its PPD
// offers.

#include "printers/printersettings.h"

#include <QStringList>

#include <functional>
#include <map>

namespace tessary {

class PrinterSettingsEditor
{
public:
    using OptionsSource = std::function<std::vector<PpdOption>(const QString &queue)>;

    // `printers` are the installed queues; the one selected first is
    // `initial` when installed, else the first. `options` reads a queue's
    // PPD options (printerOptions by default).
    PrinterSettingsEditor(QStringList printers, const QString &initial, OptionsSource options = printerOptions);

    const QStringList &printers() const { return m_printers; }
    // The printer in hand; empty when none is installed.
    const QString &current() const { return m_current; }
    // Selects a printer; its settings are read when it is first selected and
    // edits of the others are kept until save().
    void select(const QString &queue);
    // The current printer's settings; only valid while one is selected.
    PrinterSettings &settings();

    struct TwoSidedEntry
    {
        TwoSidedOption option;
        QString text;
    };
    // "One side only", then every choice of every option of the current
    // printer's PPD ("Duplex=DuplexNoTumble (2-Sided Printing: Long Edge)"),
    // the printer's own way marked "(printer's default)".
    std::vector<TwoSidedEntry> twoSidedEntries();
    // The entry that will be used.
    int twoSidedEntry();
    // Chooses an entry; the printer's own is stored as no choice, so that it
    // follows the PPD.
    void chooseTwoSidedEntry(int entry);

    // The current printer's settings as edited, with the two-sided option
    // they choose: for printing the calibration card before saving.
    PrinterSetup setup();

    // Writes the settings of every printer looked at and remembers the
    // current one for "Print Calibration Card". Throws tessary::Error when
    // the store cannot be written.
    void save();

private:
    const std::vector<PpdOption> &options(const QString &queue);

    QStringList m_printers;
    QString m_current;
    OptionsSource m_source;
    std::map<QString, PrinterSettings> m_settings;
    std::map<QString, std::vector<PpdOption>> m_options;
};

} // namespace tessary
