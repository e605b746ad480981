#pragma once

// "Printer Settings…" and "Print Calibration Card" (menu "Card"): the
// calibration and two-sided option of each printer of this computer.

#include "printers/calibrationcard.h"
#include "printers/printersettingseditor.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QMenu;
class QPushButton;

namespace tessary {

class Connection;

// The dialog: a printer, the offsets and scales of its front and back, the
// back's turn, and the two-sided option. Each printer's edits are kept while
// another is shown; OK saves them all.
class TFmPrinterSettings : public QDialog
{
    Q_OBJECT
public:
    // `paper`: the sheet the calibration card prints on where the printer
    // has no card size.
    TFmPrinterSettings(const QStringList &printers, const QString &initial,
                       PrinterSettingsEditor::OptionsSource options, SheetPaper paper, QWidget *owner = nullptr);

    // For the installed printers, the one last chosen selected first. With
    // none installed, throws "No printer is installed." instead.
    static void ShowPrinterSettings(SheetPaper paper, QWidget *owner);

    struct SideControls
    {
        QDoubleSpinBox *offsetX = nullptr;
        QDoubleSpinBox *offsetY = nullptr;
        QDoubleSpinBox *scaleX = nullptr;
        QDoubleSpinBox *scaleY = nullptr;
    };

    QComboBox *cbPrinter = nullptr;
    SideControls front;
    SideControls back;
    QCheckBox *cbTurnBack = nullptr;
    QComboBox *cbTwoSided = nullptr;
    QDialogButtonBox *buttons = nullptr;
    // Prints the calibration card on the printer shown, with the values
    // shown (saved or not); failures are reported.
    QPushButton *bCalibrationCard = nullptr;

    // OK: saves; a store that cannot be written is reported and the dialog
    // stays open.
    void accept() override;

private:
    QWidget *sideBox(const QString &title, SideControls &controls);
    void showPrinter();
    void takeControls();

    PrinterSettingsEditor m_editor;
    SheetPaper m_paper;
};

// The paper the calibration card prints on when the printer has no card
// size: the stored layout's (A6 unless A4 is stored); A4 without a card
// database.
SheetPaper storedSheetPaper(Connection &database);

// Prints the calibration card on calibrationPrinter(); throws
// tessary::Error ("No printer is installed.", or why it cannot print).
void PrintCalibrationCard(SheetPaper paper);

// Adds "Printer Settings…" and "Print Calibration Card" to `menu`.
void addPrinterCommands(QMenu &menu, QWidget &owner, const std::function<SheetPaper()> &sheetPaper);

} // namespace tessary
