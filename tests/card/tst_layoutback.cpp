// The layout dialog's two sides: "Front" / "Back" above the pages, the back's
// rows and background on the same pages as the front's, "Print the back",
// and the page "Barcode" with its drawing, through the database and back.

#include "cardfixture.h"

#include "card/layoutdrawings.h"
#include "cardmodel/design.h"
#include "photoui/imagecontrol.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

using namespace tessary;
using namespace cardtest;

namespace {

// A barcode as the operator sets it on the page "Barcode".
struct BarcodeEdit
{
    QString symbology, field;
    double left, top, width, height, module;
    bool humanReadable;
    bool operator==(const BarcodeEdit &) const = default;
};

void editBarcode(TFmLayout &d, const BarcodeEdit &e)
{
    if (!d.cbBarcode->isChecked())
        d.cbBarcode->click();
    d.lstSymbology->setCurrentText(e.symbology);
    d.lstBarcodeField->setCurrentText(e.field);
    d.seBarcodeLeft->setValue(e.left);
    d.seBarcodeTop->setValue(e.top);
    d.seBarcodeWidth->setValue(e.width);
    d.seBarcodeHeight->setValue(e.height);
    d.seModule->setValue(e.module);
    if (d.cbHumanReadable->isChecked() != e.humanReadable)
        d.cbHumanReadable->click();
}

// What the page shows, in the terms of BarcodeEdit.
BarcodeEdit shownBarcode(const TFmLayout &d)
{
    return {d.lstSymbology->currentText(), d.lstBarcodeField->currentText(), d.seBarcodeLeft->value(),
            d.seBarcodeTop->value(),       d.seBarcodeWidth->value(),        d.seBarcodeHeight->value(),
            d.seModule->value(),           d.cbHumanReadable->isChecked()};
}

// The values of one side, to see that the other side's edits leave them alone.
QString sideValues(const LayoutSettings &s, CardFace face)
{
    const bool front = face == CardFace::Front;
    QStringList out;
    for (int i = 0; i < kCardRows; ++i)
        out << QString::number((front ? s.rowField : s.back.rowField)[size_t(i)])
            << (front ? s.rowCaption : s.back.rowCaption)[size_t(i)];
    const QImage &picture = front ? s.background : s.back.background;
    out << QString::number(picture.isNull() ? 0 : qHashBits(picture.constBits(), size_t(picture.sizeInBytes())))
        << QString::number(front ? s.printBackground : s.back.printBackground)
        << QString::fromUtf8(QJsonDocument(elementToJson(s.barcode(face))).toJson());
    return out.join(QLatin1Char('|'));
}

const BarcodeEdit kFrontEdit{QStringLiteral("Code 128"), QStringLiteral("Card Number"), 5.5, 40.2, 30, 12.5, 0.25,
                             false};
const BarcodeEdit kBackEdit{QStringLiteral("PDF417"), QStringLiteral("Position"), 10, 8, 60.4, 20, 0.5, true};

} // namespace

class TestLayoutBack : public QObject
{
    Q_OBJECT

private slots:
    void eachSideShowsAndEditsItsOwnValues()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        TFmLayout dialog(*db.ds);
        const QString front = sideValues(dialog.settings, CardFace::Front);
        const QString back = sideValues(dialog.settings, CardFace::Back);
        dialog.rbBack->click();
        QCOMPARE(dialog.face(), CardFace::Back);
        QCOMPARE(sideValues(dialog.settings, CardFace::Back), back); // switching changes nothing
        // The back's initial state: rows unused, no background (shown white), the QR code off.
        QCOMPARE(dialog.lstField[0]->currentText(), kNotUsed);
        QCOMPARE(dialog.bCaption[0]->text(), QString());
        QCOMPARE(dialog.imgBack->picture().pixelColor(50, 50), QColor(Qt::white));
        QVERIFY(dialog.settings.back.background.isNull());
        QVERIFY(!dialog.cbBarcode->isChecked());
        QVERIFY((shownBarcode(dialog)
                 == BarcodeEdit{QStringLiteral("QR Code"), QStringLiteral("Staff Number"), 61, 16, 24, 30, 0.33, true}));

        dialog.lstField[2]->setCurrentIndex(4);
        prompts->inputAnswers = {QStringLiteral("Post")};
        dialog.bCaption[2]->click();
        QCOMPARE(prompts->asked.at(0).title, QStringLiteral("Change caption name"));
        dialog.cbPrintBack->click();
        dialog.bClear->click();
        editBarcode(dialog, kBackEdit);
        QCOMPARE(dialog.settings.back.rowField[2], 4);
        QCOMPARE(dialog.settings.back.rowCaption[2], QStringLiteral("Post"));
        QVERIFY(!dialog.settings.back.printBackground && dialog.settings.back.backgroundEdited);
        QCOMPARE(dialog.settings.back.background.size(), QSize(100, 100));
        QCOMPARE(dialog.settings.back.barcode.box.toRectF(), QRectF(10, 8, 60.4, 20));
        QCOMPARE(dialog.settings.back.barcode.field, QStringLiteral("post"));
        QCOMPARE(sideValues(dialog.settings, CardFace::Front), front);

        const QString edited = sideValues(dialog.settings, CardFace::Back);
        dialog.rbFront->click();
        QCOMPARE(sideValues(dialog.settings, CardFace::Back), edited);
        QCOMPARE(dialog.lstField[2]->currentIndex(), dialog.settings.rowField[2]);
        QCOMPARE(dialog.bCaption[0]->text(), QStringLiteral("ID"));
        QVERIFY(dialog.cbPrintBack->isChecked());
        QCOMPARE(dialog.seBarcodeLeft->value(), 50.0);
        QCOMPARE(dialog.imgBack->picture(), dialog.settings.background);
    }

    void printTheBackAndBothBarcodesSurviveSaving()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        {
            TFmLayout dialog(*db.ds);
            QVERIFY(!dialog.cbPrintTheBack->isChecked());
            dialog.cbPrintTheBack->click();
            QVERIFY(dialog.settings.printBack);
            editBarcode(dialog, kFrontEdit);
            dialog.ShowFace(CardFace::Back);
            editBarcode(dialog, kBackEdit);
            dialog.lstField[6]->setCurrentIndex(9);
            prompts->inputAnswers = {QStringLiteral("Card")};
            dialog.bCaption[6]->click();
            dialog.bSave->click();
            QCOMPARE(prompts->messages(), QStringList{QStringLiteral("Settings are saved.")});
        }
        TFmLayout reopened(*db.ds);
        QVERIFY(reopened.settings.printBack && reopened.cbPrintTheBack->isChecked());
        for (const auto &[face, edit] : {std::pair{CardFace::Front, kFrontEdit}, {CardFace::Back, kBackEdit}}) {
            reopened.ShowFace(face);
            QVERIFY(reopened.settings.barcode(face).enabled && reopened.cbBarcode->isChecked());
            QVERIFY(shownBarcode(reopened) == edit);
        }
        QCOMPARE(reopened.lstField[6]->currentText(), QStringLiteral("Card No"));
        QCOMPARE(reopened.settings.back.rowCaption[6], QStringLiteral("Card"));
        QCOMPARE(reopened.settings.rowCaption[6], QStringLiteral("Group")); // the front's own
    }

    void humanReadableTextAndTheDrawingFollowTheBarcode()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        TFmLayout dialog(*db.ds);
        for (const Symbology s : symbologies()) {
            dialog.lstSymbology->setCurrentText(symbologyTitle(s));
            QCOMPARE(dialog.settings.frontBarcode.symbology, s);
            QCOMPARE(dialog.cbHumanReadable->isEnabled(), s == Symbology::Code128);
        }
        editBarcode(dialog, kFrontEdit);
        const QString box = QStringLiteral("Left 5.5 mm, top 40.2 mm, 30.0 × 12.5 mm on a card of ");
        QCOMPARE(dialog.imgBarcodePlace->accessibleDescription(), box + QStringLiteral("88 × 56 mm"));
        dialog.rbStyle[2]->click();
        QCOMPARE(dialog.imgBarcodePlace->accessibleDescription(), box + QStringLiteral("56 × 88 mm"));
        // The back's barcode, still off, moved to the portrait card's place.
        QCOMPARE(dialog.settings.back.barcode.box, defaultBarcode(CardFace::Back, CardStyle::Style3).box);
        dialog.seBarcodeWidth->setValue(60);
        QVERIFY(dialog.imgBarcodePlace->accessibleDescription().endsWith(QStringLiteral("not all of it on the card")));
        dialog.seBarcodeWidth->setValue(30);
        // Drawn where it goes: dark while on, grey once off.
        const QPoint centre = dialog.imgBarcodePlace->boxRect().center().toPoint();
        QVERIFY(dialog.imgBarcodePlace->grab().toImage().pixelColor(centre).lightness() < 80);
        dialog.cbBarcode->click();
        QVERIFY(dialog.imgBarcodePlace->accessibleDescription().endsWith(QStringLiteral("no barcode is printed")));
        QVERIFY(dialog.imgBarcodePlace->grab().toImage().pixelColor(centre).lightness() > 150);

        // A stored field the list does not offer is shown by its column and kept.
        dialog.settings.frontBarcode.field = QStringLiteral("nickname");
        dialog.ShowSettings();
        QCOMPARE(dialog.lstBarcodeField->currentText(), QStringLiteral("nickname"));
        QCOMPARE(dialog.settings.frontBarcode.field, QStringLiteral("nickname"));
    }

    void newControlsAreNamedForAssistiveTechnology()
    {
        testing::CardDb db;
        ScopedScriptedPrompts prompts;
        TFmLayout dialog(*db.ds);
        for (const char *name : {"rbFront", "rbBack", "cbPrintTheBack", "cbBarcode", "lstSymbology", "lstBarcodeField",
                                 "seBarcodeLeft", "seBarcodeTop", "seBarcodeWidth", "seBarcodeHeight", "seModule",
                                 "cbHumanReadable", "imgBarcodePlace"}) {
            auto *w = dialog.findChild<QWidget *>(QString::fromLatin1(name));
            QVERIFY2(w, name);
            QAccessibleInterface *heard = QAccessible::queryAccessibleInterface(w);
            QVERIFY2(!heard->text(QAccessible::Name).isEmpty(), name);
            QVERIFY2(!heard->text(QAccessible::Description).isEmpty(), name);
            if (auto *number = qobject_cast<QDoubleSpinBox *>(w)) {
                // Named as its label; the value is heard as shown, the unit in the description.
                const QLabel *label = dialog.findChild<QLabel *>(QStringLiteral("lb%1").arg(QLatin1String(name + 2)));
                QVERIFY2(label && label->buddy() == w, name);
                QCOMPARE(heard->text(QAccessible::Name), label->text());
                QCOMPARE(heard->text(QAccessible::Value), number->cleanText());
            }
        }
        QCOMPARE(dialog.imgBarcodePlace->accessibleName(), QStringLiteral("Barcode position"));
    }
};

QTEST_MAIN(TestLayoutBack)
#include "tst_layoutback.moc"
