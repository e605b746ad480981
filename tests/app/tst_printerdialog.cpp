// "Printer Settings…" and "Print Calibration Card": the dialog's controls
// and what OK and Cancel keep, the menu items, and the sheet the
// calibration card takes from the stored layout.

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

std::vector<PpdOption> options(const QString &queue)
{
    if (queue != QLatin1String("Card"))
        return {};
    return {PpdOption{"UTDuplex", QStringLiteral("Sides"), "0Front",
                      {{"0Front", QStringLiteral("Front")}, {"1Both", QStringLiteral("Both")}}}};
}

QString accessibleName(QWidget *w)
{
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(QAccessible::Name) : QString();
}

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
    TFmPrinterSettings dialog({QStringLiteral("Office"), QStringLiteral("Card")}, QStringLiteral("Card"), options);
    QCOMPARE(dialog.cbPrinter->currentText(), QStringLiteral("Card"));
    QStringList names;
    for (const auto *side : {&dialog.front, &dialog.back}) {
        for (QDoubleSpinBox *box : {side->offsetX, side->offsetY, side->scaleX, side->scaleY}) {
            const bool offset = box == side->offsetX || box == side->offsetY;
            QCOMPARE(box->minimum(), offset ? -5.0 : 95.0);
            QCOMPARE(box->maximum(), offset ? 5.0 : 105.0);
            QCOMPARE(box->singleStep(), 0.1);
            QCOMPARE(box->decimals(), 1);
            QCOMPARE(box->suffix(), offset ? QStringLiteral(" mm") : QStringLiteral(" %"));
            QCOMPARE(box->value(), offset ? 0.0 : 100.0);
        }
    }
    QWidget *controls[] = {dialog.cbPrinter,      dialog.front.offsetX, dialog.front.offsetY, dialog.front.scaleX,
                           dialog.front.scaleY,   dialog.back.offsetX,  dialog.back.offsetY,  dialog.back.scaleX,
                           dialog.back.scaleY,    dialog.cbTurnBack,    dialog.cbTwoSided};
    for (QWidget *w : controls) {
        const QString name = accessibleName(w);
        QVERIFY2(!name.isEmpty() && !names.contains(name), qPrintable(QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + name));
        names << name;
    }
    QCOMPARE(accessibleName(dialog.back.scaleY), QStringLiteral("Back vertical scale"));
    QCOMPARE(accessibleName(dialog.cbTurnBack), QStringLiteral("Turn the back by 180°"));
    // The two-sided choices: one side only and the PPD's, the vendor's own in use.
    QCOMPARE(dialog.cbTwoSided->count(), 3);
    QCOMPARE(dialog.cbTwoSided->currentText(), QStringLiteral("UTDuplex=1Both (Sides: Both) (printer's default)"));
    QCOMPARE(dialog.cbTwoSided->itemText(0), QStringLiteral("One side only"));
}

void TestPrinterDialog::okSavesEveryPrinterCancelNothing()
{
    for (const bool ok : {false, true}) {
        clearSettings();
        ScopedScriptedPrompts prompts;
        TFmPrinterSettings dialog({QStringLiteral("Office"), QStringLiteral("Card")}, QString(), options);
        QCOMPARE(dialog.cbPrinter->currentText(), QStringLiteral("Office"));
        dialog.front.offsetX->setValue(-1.3);
        dialog.back.scaleY->setValue(101.7);
        dialog.cbTurnBack->setChecked(true);
        dialog.cbPrinter->setCurrentText(QStringLiteral("Card"));
        QCOMPARE(dialog.front.offsetX->value(), 0.0); // the other printer's own
        QVERIFY(!dialog.cbTurnBack->isChecked());
        dialog.back.offsetY->setValue(4.9);
        dialog.front.scaleX->setValue(95.4);
        dialog.cbTwoSided->setCurrentIndex(0); // one side only
        dialog.cbPrinter->setCurrentText(QStringLiteral("Office"));
        QCOMPARE(dialog.front.offsetX->value(), -1.3); // kept while the other was shown
        QVERIFY(dialog.cbTurnBack->isChecked());
        QTest::mouseClick((ok ? dialog.buttons->button(QDialogButtonBox::Ok)
                              : dialog.buttons->button(QDialogButtonBox::Cancel)),
                          Qt::LeftButton);

        const PrinterSettings office = PrinterSettings::load(QStringLiteral("Office"));
        const PrinterSettings card = PrinterSettings::load(QStringLiteral("Card"));
        if (!ok) {
            QVERIFY(office.front.isIdentity() && office.back.isIdentity() && card.front.isIdentity());
            QVERIFY(!card.twoSided);
            continue;
        }
        QCOMPARE(office.front, (SideCalibration{-13, 0, 1000, 1000}));
        QCOMPARE(office.back, (SideCalibration{0, 0, 1000, 1017, true}));
        QVERIFY(!office.twoSided);
        QCOMPARE(card.front, (SideCalibration{0, 0, 954, 1000}));
        QCOMPARE(card.back, (SideCalibration{0, 49, 1000, 1000}));
        QCOMPARE(card.twoSided, std::optional(TwoSidedOption{}));
        QVERIFY(prompts->asked.empty());
        // The printer shown last is the one the calibration card prints on.
        QCOMPARE(calibrationPrinter({QStringLiteral("Office"), QStringLiteral("Card")}, QStringLiteral("Card")),
                 QStringLiteral("Office"));
    }
}

void TestPrinterDialog::menuItemsAndNoPrinter()
{
    for (const int psize : {0, 1}) {
        ProgramFolder folder;
        folder.db().exec(QStringLiteral("update param set psize = ?"), {psize});
        ScopedScriptedPrompts prompts;
        Tdsrc data;
        TVaraDavuz window(data, folder.path());
        QCOMPARE(storedSheetPaper(data.src), psize == 1 ? SheetPaper::A4 : SheetPaper::A6);

        QMenu *card = window.menuBar()->findChild<QMenu *>(QStringLiteral("mnCard"));
        QVERIFY(card);
        QStringList texts;
        for (QAction *a : card->actions())
            texts << a->text().remove(QLatin1Char('&'));
        QVERIFY2(texts.join(QLatin1Char('|')).endsWith(QStringLiteral("Check List||Printer Settings…|Print Calibration Card")),
                 qPrintable(texts.join(QLatin1Char('|'))));
        // No printer: each says so, and nothing else happens.
        window.findChild<QAction *>(QStringLiteral("actPrinterSettings"))->trigger();
        window.findChild<QAction *>(QStringLiteral("actCalibrationCard"))->trigger();
        QCOMPARE(prompts->messages(), (QStringList{QStringLiteral("No printer is installed."),
                                                   QStringLiteral("No printer is installed.")}));
    }
    Tdsrc closed;
    QCOMPARE(storedSheetPaper(closed.src), SheetPaper::A4);
}

QTEST_MAIN(TestPrinterDialog)
#include "tst_printerdialog.moc"
