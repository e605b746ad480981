// "Printer Settings…" and "Print Calibration Card": the dialog's controls,
// what OK and Cancel keep of each printer's edits and two-sided choice, the
// menu items, and the sheet the calibration card takes from the layout.

#include "appfixture.h"

#include "app/printerdialog.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QMenuBar>
#include <QPushButton>

using namespace apptest;
using namespace tessary;

namespace {

int ppdReads = 0;

// "Card" has a vendor's two-sided option, "Office" none.
std::vector<PpdOption> options(const QString &queue)
{
    ++ppdReads;
    if (queue != QLatin1String("Card"))
        return {};
    return {PpdOption{"UTDuplex", QStringLiteral("Sides"), "0Front",
                      {{"0Front", QStringLiteral("Front")}, {"1Both", QStringLiteral("Both")}}}};
}

QString accessibleName(QWidget *w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); }

const QString kOffice = QStringLiteral("Office"), kCard = QStringLiteral("Card");

} // namespace

class TestPrinterDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { clearSettings(); }
    void controlsAreNamedAndBounded();
    void okSavesEveryPrinterCancelNothing();
    void menuItemsAndNoPrinter();
};

void TestPrinterDialog::initTestCase()
{
    useTemporarySettings();
    // Never a printer of this machine.
    qputenv("CUPS_SERVER", QFile::encodeName(QDir::temp().filePath(QStringLiteral("no-such-cups.sock"))));
}

void TestPrinterDialog::controlsAreNamedAndBounded()
{
    TFmPrinterSettings dialog({kOffice, kCard}, kCard, options, SheetPaper::A4);
    QCOMPARE(dialog.cbPrinter->currentText(), kCard);
    for (const auto *side : {&dialog.front, &dialog.back}) {
        for (QDoubleSpinBox *box : {side->offsetX, side->offsetY, side->scaleX, side->scaleY}) {
            const bool offset = box == side->offsetX || box == side->offsetY;
            QVERIFY(box->singleStep() == 0.1 && box->decimals() == 1);
            QCOMPARE((QList<double>{box->minimum(), box->maximum(), box->value()}),
                     (offset ? QList<double>{-5, 5, 0} : QList<double>{95, 105, 100}));
            QCOMPARE(box->suffix(), offset ? QStringLiteral(" mm") : QStringLiteral(" %"));
        }
    }
    QStringList names;
    for (QWidget *w : dialog.findChildren<QWidget *>())
        if (qobject_cast<QDoubleSpinBox *>(w) || qobject_cast<QCheckBox *>(w) || qobject_cast<QComboBox *>(w))
            names << accessibleName(w);
    QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), 11); // none alike, none empty
    QVERIFY(!names.contains(QString()));
    // The combo boxes are named by the choice they show, and say what they choose.
    QCOMPARE(accessibleName(dialog.cbPrinter), kCard);
    QCOMPARE(QAccessible::queryAccessibleInterface(dialog.cbTwoSided)->text(QAccessible::Description),
             QStringLiteral("Two-sided printing"));
    QCOMPARE(accessibleName(dialog.back.scaleY), QStringLiteral("Back vertical scale"));
    QCOMPARE(accessibleName(dialog.cbTurnBack), QStringLiteral("Turn the back by 180°"));
    // One side only and the PPD's choices; the printer's own way in use.
    QCOMPARE(dialog.cbTwoSided->count(), 3);
    QCOMPARE(dialog.cbTwoSided->itemText(0), QStringLiteral("One side only"));
    QCOMPARE(dialog.cbTwoSided->currentText(), QStringLiteral("UTDuplex=1Both (Sides: Both) (printer's default)"));
}

void TestPrinterDialog::okSavesEveryPrinterCancelNothing()
{
    for (const bool ok : {false, true}) {
        clearSettings();
        ScopedScriptedPrompts prompts;
        ppdReads = 0;
        TFmPrinterSettings dialog({kOffice, kCard}, QString(), options, SheetPaper::A6);
        QCOMPARE(dialog.cbPrinter->currentText(), kOffice);
        dialog.front.offsetX->setValue(-1.3);
        dialog.back.scaleY->setValue(101.7);
        dialog.cbTurnBack->setChecked(true);
        dialog.cbPrinter->setCurrentText(kCard);
        QVERIFY(dialog.front.offsetX->value() == 0.0 && !dialog.cbTurnBack->isChecked()); // the Card's own
        dialog.back.offsetY->setValue(4.9);
        dialog.front.scaleX->setValue(95.4);
        dialog.cbTwoSided->setCurrentIndex(0); // one side only
        dialog.cbPrinter->setCurrentText(kOffice);
        QVERIFY(dialog.front.offsetX->value() == -1.3 && dialog.cbTurnBack->isChecked()); // kept
        dialog.cbPrinter->setCurrentText(kCard);
        QCOMPARE(dialog.cbTwoSided->currentIndex(), 0);
        QCOMPARE(ppdReads, 2); // each printer's PPD read once
        // The calibration card prints with the values shown; a failure is
        // reported and the dialog stays.
        dialog.bCalibrationCard->click();
        QCOMPARE(prompts->messages(), QStringList(QStringLiteral("The printer Card is not installed.")));
        prompts->clear();
        QTest::mouseClick(dialog.buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel), Qt::LeftButton);
        const PrinterSettings office = PrinterSettings::load(kOffice), card = PrinterSettings::load(kCard);
        const PrinterSettings officeSaved{kOffice, {-13, 0, 1000, 1000}, {0, 0, 1000, 1017, true}, {}};
        const PrinterSettings cardSaved{kCard, {0, 0, 954, 1000}, {0, 49, 1000, 1000}, TwoSidedOption{}};
        const auto neutral = [](const QString &queue) { return PrinterSettings{queue, {}, {}, {}}; };
        QCOMPARE(office, ok ? officeSaved : neutral(kOffice));
        QCOMPARE(card, ok ? cardSaved : neutral(kCard));
        QVERIFY(prompts->asked.empty());
    }
    // The printer shown last is the one the calibration card prints on.
    QCOMPARE(calibrationPrinter({kOffice, kCard}, kOffice), kCard);
    // The printer's own way chosen again: no choice is stored, it follows the PPD.
    TFmPrinterSettings again({kOffice, kCard}, kCard, options, SheetPaper::A6);
    again.cbTwoSided->setCurrentIndex(2);
    again.accept();
    QVERIFY(!PrinterSettings::load(kCard).twoSided);
}

void TestPrinterDialog::menuItemsAndNoPrinter()
{
    ProgramFolder folder;
    ScopedScriptedPrompts prompts;
    Tdsrc data;
    TVaraDavuz window(data, folder.path());
    QCOMPARE(storedSheetPaper(data.src), SheetPaper::A6);
    folder.db().exec(QStringLiteral("update param set psize = 1"));
    QCOMPARE(storedSheetPaper(data.src), SheetPaper::A4);
    QStringList texts;
    for (QAction *a : window.menuBar()->findChild<QMenu *>(QStringLiteral("mnCard"))->actions())
        texts << a->text().remove(QLatin1Char('&'));
    QVERIFY2(texts.join(QLatin1Char('|')).endsWith(QStringLiteral("Check List||Printer Settings…|Print Calibration Card")),
             qPrintable(texts.join(QLatin1Char('|'))));
    // No printer: each says so, and nothing else happens.
    window.findChild<QAction *>(QStringLiteral("actPrinterSettings"))->trigger();
    window.findChild<QAction *>(QStringLiteral("actCalibrationCard"))->trigger();
    QCOMPARE(prompts->messages(), QStringList(2, QStringLiteral("No printer is installed.")));
    Tdsrc closed;
    QCOMPARE(storedSheetPaper(closed.src), SheetPaper::A4);
}

QTEST_MAIN(TestPrinterDialog)
#include "tst_printerdialog.moc"
