// The program's font dialog: the sizes it offers, the face and effects it
// starts with and what OK hands back.

#include "app/fontdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTest>

using namespace tessary;

class TestFontDialog : public QObject
{
    Q_OBJECT

private slots:
    void offersOnlyTheGivenSizesAndKeepsTheStartingFont()
    {
        QFont arial(QStringLiteral("Arial"));
        arial.setPointSize(20); // outside the offered sizes: the nearest
        arial.setBold(true);
        FontDialog dialog({arial, QColor(0x80, 0, 0)}, {8, 18});
        QStringList sizes;
        for (int i = 0; i < dialog.cbSize->count(); ++i)
            sizes << dialog.cbSize->itemText(i);
        QCOMPARE(sizes.first(), QStringLiteral("8"));
        QCOMPARE(sizes.last(), QStringLiteral("18"));
        QCOMPARE(sizes.size(), 11);
        QCOMPARE(dialog.cbSize->currentText(), QStringLiteral("18"));

        // OK without a change: the face under its own name, even where the
        // system draws it with a substitute.
        FontChoice c = dialog.choice();
        QCOMPARE(c.font.family(), QStringLiteral("Arial"));
        QVERIFY(c.font.bold() && !c.font.italic());
        QCOMPARE(c.color, QColor(0x80, 0, 0));

        dialog.cbStyle->setCurrentIndex(1);
        dialog.cbUnderline->setChecked(true);
        dialog.cbStrikeOut->setChecked(true);
        dialog.cbColor->setCurrentIndex(dialog.cbColor->findText(QStringLiteral("Navy")));
        dialog.cbSize->setCurrentIndex(0);
        c = dialog.choice();
        QVERIFY(c.font.italic() && !c.font.bold() && c.font.underline() && c.font.strikeOut());
        QCOMPARE(c.font.pointSize(), 8);
        QCOMPARE(c.color, QColor(0, 0, 0x80));
    }

    void aColourOutsideThePaletteIsKept()
    {
        FontDialog dialog({QFont(QStringLiteral("Arial")), QColor(1, 2, 3)}, {});
        QCOMPARE(dialog.choice().color, QColor(1, 2, 3));
        QVERIFY(dialog.cbSize->count() > 11); // the usual list
    }
};

QTEST_MAIN(TestFontDialog)
#include "tst_fontdialog.moc"
