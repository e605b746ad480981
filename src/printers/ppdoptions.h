#pragma once

// A print queue's options as its PPD file declares them, and the option that
// makes it print both sides of a card.

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace tessary {

struct PpdChoice
{
    QByteArray keyword; // "DuplexNoTumble"
    QString text;       // its translation string, else the keyword

    bool operator==(const PpdChoice &) const = default;
};

struct PpdOption
{
    QByteArray keyword; // "Duplex", without the asterisk
    QString text;
    QByteArray defaultChoice;
    std::vector<PpdChoice> choices;

    const PpdChoice *choice(const QByteArray &keyword) const;
};

// The options of a PPD file's text (every *OpenUI / *JCLOpenUI group) with
// their choices in file order. Quoted values over several lines (PostScript
// code) are skipped whole. Text that is not a PPD gives no options.
std::vector<PpdOption> parsePpdOptions(const QByteArray &ppd);

// The option and choice sent with a job to print both sides. Empty: one
// side only.
struct TwoSidedOption
{
    QByteArray option;
    QByteArray choice;

    bool printsBothSides() const { return !option.isEmpty(); }
    // "Duplex=DuplexNoTumble"; empty for one side only.
    QString text() const;
    // Reads text(); an empty text is one side only, anything not
    // "option=choice" nothing.
    static std::optional<TwoSidedOption> fromText(const QString &text);

    bool operator==(const TwoSidedOption &) const = default;
};

// The printer's own way of printing both sides: the standard Duplex option
// with DuplexNoTumble, else UTDuplex=1Both, else DualSidePrinting=1true;
// one side only when the PPD has none of them.
TwoSidedOption defaultTwoSidedOption(const std::vector<PpdOption> &options);
// The operator's choice when the PPD still offers it (one side only always
// counts), else the default.
TwoSidedOption chooseTwoSidedOption(const std::vector<PpdOption> &options, const std::optional<TwoSidedOption> &chosen);

// The PPD text of a queue of the CUPS server this program talks to (the
// instance part of "queue/instance" left off); empty when it has none or the
// server cannot be reached.
QByteArray queuePpd(const QString &queue);
// The queue's options (parsePpdOptions of queuePpd).
std::vector<PpdOption> printerOptions(const QString &queue);
// How a job for `queue` asks for both sides: the operator's choice stored in
// the printer settings, else the printer's default.
TwoSidedOption twoSidedOption(const QString &queue);

} // namespace tessary
