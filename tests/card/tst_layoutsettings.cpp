// Loading and saving the card layout: field lists and captions, the ranges
// stored values are brought into, the style mapping, the stored font and
// what a loading error leaves behind.

#include "../data/carddb.h"

#include "card/layout.h"
#include "data/prompts.h"
#include "photo/picture.h"

#include <QLabel>
#include <QTest>

#include <limits>


using namespace tessary;
using tessary::testing::CardDb;

namespace {

// Runs one statement on the card database directly, around the program's
// own queries (which never send anything but selects).
void exec(const CardDb &db, const QString &sql)
{
    try {
        db.execElsewhere(sql);
    } catch (const Error &e) {
        QFAIL(e.what());
    }
}

QVariant stored(const CardDb &db, const QString &sql)
{
    return db.stored(sql);
}

QStringList captions(const LayoutSettings &s)
{
    return QStringList(s.rowCaption.begin(), s.rowCaption.end());
}

} // namespace

class TestLayoutSettings : public QObject
{
    Q_OBJECT

private slots:
    void seededLayoutLoads()
    {
        CardDb db;
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        const LayoutSettings &s = f.settings;
        QCOMPARE(s.fieldList.size(), 10);
        QCOMPARE(s.fieldList.first(), QStringLiteral("NOT USED"));
        QCOMPARE(s.fieldList.at(5), QStringLiteral("Date Join"));
        QCOMPARE((std::array<int, 7>(s.rowField)), (std::array<int, 7>{1, 2, 3, 4, 5, 6, 8}));
        QCOMPARE(captions(s), (QStringList{QStringLiteral("ID"), QStringLiteral("Name"), QStringLiteral("CName"),
                                           QStringLiteral("Position"), QStringLiteral("Date Join"),
                                           QStringLiteral("Expiry Date"), QStringLiteral("Group")}));
        QCOMPARE(s.rowEntry(6)->fname, QStringLiteral("gdesc"));
        QCOMPARE(s.position, 30);
        // An empty background reads as the white placeholder.
        QCOMPARE(s.background.size(), QSize(120, 160));
        QCOMPARE(p->asked.size(), size_t(0));
        QVERIFY(f.isHidden());
    }

    void unusedAndUnknownRows()
    {
        CardDb db;
        exec(db, QStringLiteral("update param set f2 = 0, f4 = 20, f6 = -1"));
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        QCOMPARE(f.settings.rowField[1], 0);
        QCOMPARE(f.settings.rowField[3], -1);
        QCOMPARE(f.settings.rowField[5], -1);
        QVERIFY(f.settings.rowCaption[1].isEmpty());
        QVERIFY(f.settings.rowCaption[3].isEmpty());
        QVERIFY(f.settings.rowEntry(3) == nullptr);
        f.SaveSettings();
        QCOMPARE(stored(db, QStringLiteral("select f2 from param")).toInt(), 0);
        QCOMPARE(stored(db, QStringLiteral("select f4 from param")).toInt(), -1);
        QCOMPARE(p->messages(), QStringList{QStringLiteral("Settings are saved.")});
    }

    void clearedCaptionBecomesDisplayName()
    {
        CardDb db;
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        f.settings.rowCaption[3].clear(); // row 4 shows "Position"
        exec(db, QStringLiteral("update fields set dname = 'Job' where seq = 4"));
        f.fields.refresh();
        f.SaveSettings();
        QCOMPARE(f.settings.rowCaption[3], QStringLiteral("Job"));
        QCOMPARE(stored(db, QStringLiteral("select uname from fields where seq = 4")).toString(), QStringLiteral("Job"));
    }

    void rowsSharingAFieldShareTheHigherRowsCaption()
    {
        CardDb db;
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        f.settings.rowField[1] = 2;
        f.settings.rowField[4] = 2;
        f.settings.rowCaption[1] = QStringLiteral("Full name");
        f.settings.rowCaption[4] = QStringLiteral("Called");
        f.SaveSettings();
        QCOMPARE(f.settings.rowCaption[1], QStringLiteral("Called"));
        QCOMPARE(f.settings.rowCaption[4], QStringLiteral("Called"));
        TFmLayout again(*db.ds);
        QCOMPARE(again.settings.rowCaption[1], QStringLiteral("Called"));
        QCOMPARE(again.settings.rowField[4], 2);
    }

    void storedValuesBroughtIntoRange_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("storedValue");
        QTest::addColumn<int>("loaded");
        QTest::addColumn<int>("saved");
        QTest::addColumn<int>("raw"); // what ReadStoredInteger answers before saving
        QTest::newRow("position 12.7") << QStringLiteral("position") << QStringLiteral("12.7") << 12 << 12 << 12;
        QTest::newRow("position 120") << QStringLiteral("position") << QStringLiteral("120") << 86 << 86 << 120;
        QTest::newRow("position -3.9") << QStringLiteral("position") << QStringLiteral("-3.9") << 0 << 0 << -3;
        QTest::newRow("osx 35") << QStringLiteral("osx") << QStringLiteral("35") << 20 << 20 << 35;
        QTest::newRow("osx -21") << QStringLiteral("osx") << QStringLiteral("-21") << -20 << -20 << -21;
        QTest::newRow("osy -40") << QStringLiteral("osy") << QStringLiteral("-40") << -30 << -30 << -40;
        QTest::newRow("osy 31") << QStringLiteral("osy") << QStringLiteral("31") << 30 << 30 << 31;
        QTest::newRow("psize 3") << QStringLiteral("psize") << QStringLiteral("3") << 1 << 1 << 3;
        QTest::newRow("psize -5") << QStringLiteral("psize") << QStringLiteral("-5") << -1 << -1 << -5;
        QTest::newRow("palign 9") << QStringLiteral("palign") << QStringLiteral("9") << 2 << 2 << 9;
        QTest::newRow("palign -2") << QStringLiteral("palign") << QStringLiteral("-2") << -1 << -1 << -2;
        QTest::newRow("style 7") << QStringLiteral("style") << QStringLiteral("7") << 0 << 0 << 7;
        QTest::newRow("style 2") << QStringLiteral("style") << QStringLiteral("2") << 2 << 2 << 2;
    }

    void storedValuesBroughtIntoRange()
    {
        QFETCH(QString, column);
        QFETCH(QString, storedValue);
        QFETCH(int, loaded);
        QFETCH(int, saved);
        QFETCH(int, raw);
        CardDb db;
        exec(db, QStringLiteral("update param set %1 = %2").arg(column, storedValue));
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        const LayoutSettings &s = f.settings;
        const QHash<QString, int> value{{QStringLiteral("position"), s.position}, {QStringLiteral("osx"), s.offsetX},
                                        {QStringLiteral("osy"), s.offsetY},       {QStringLiteral("psize"), s.paper},
                                        {QStringLiteral("palign"), s.alignment},  {QStringLiteral("style"), int(s.style)}};
        QCOMPARE(value.value(column), loaded);
        if (column != QStringLiteral("position"))
            QCOMPARE(f.ReadStoredInteger(column), raw);
        f.SaveSettings();
        QCOMPARE(stored(db, QStringLiteral("select %1 from param").arg(column)).toDouble(), double(saved));
        QCOMPARE(f.ReadStoredInteger(column), saved);
    }

    void fontHeightsAndPoints()
    {
        // Pixel heights are read at 120 pixels per inch.
        QCOMPARE(fontPointsFromHeight(-17), 10);
        QCOMPARE(fontHeightFromPoints(10), -17);
        QCOMPARE(fontPointsFromHeight(-24), 14);
        // Every size the font dialog offers comes back as itself.
        for (int pt = 8; pt <= 18; ++pt)
            QCOMPARE(fontPointsFromHeight(fontHeightFromPoints(pt)), pt);
        QCOMPARE(fontHeightFromPoints(8), -13);
        QCOMPARE(fontHeightFromPoints(18), -30);

        LayoutSettings s;
        QCOMPARE(s.sampleFont().family(), QStringLiteral("Arial"));
        QCOMPARE(s.sampleFont().pointSize(), 10);
        QVERIFY(!s.sampleFont().bold());
        QCOMPARE(s.sampleColor(), QColor(Qt::black));
    }

    // A stored font height of any value becomes one of the sizes the font
    // dialog offers (8 to 18 points), without undefined behaviour on the way.
    void storedFontHeightIsHeldToTheDialogsSizes_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("loadedHeight");
        QTest::newRow("INT_MIN") << std::numeric_limits<int>::min() << 18 << -30;
        QTest::newRow("INT_MAX") << std::numeric_limits<int>::max() << 18 << -30;
        QTest::newRow("zero") << 0 << 8 << -13;
        QTest::newRow("-17 kept") << -17 << 10 << -17;
        QTest::newRow("-16 kept") << -16 << 10 << -16;
        QTest::newRow("positive 17 kept") << 17 << 10 << 17;
        QTest::newRow("below 8 pt") << -11 << 8 << -13;
        QTest::newRow("above 18 pt") << -31 << 18 << -30;
        QTest::newRow("large negative") << -1000000 << 18 << -30;
        QTest::newRow("large positive") << 99999999 << 18 << -30;
    }

    void storedFontHeightIsHeldToTheDialogsSizes()
    {
        QFETCH(int, height);
        QFETCH(int, points);
        QFETCH(int, loadedHeight);
        QCOMPARE(sampleFontPoints(height), points);
        QCOMPARE(sampleFontHeight(height), loadedHeight);

        CardDb db;
        LabelAppearance label;
        label.fontHeight = height;
        const QByteArray stream = encodeComponentStream(label);
        {
            const auto other = db.otherConnection();
            auto update = other->prepare(QStringLiteral("update param set font = ?"));
            update->bind(1, stream);
            while (update->next()) {
            }
        }
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        QVERIFY(p->asked.empty());
        QCOMPARE(f.settings.sample.fontHeight, loadedHeight);
        QCOMPARE(f.settings.sampleFont().pointSize(), points);
        QCOMPARE(f.lbFont->font().pointSize(), points);
        // Offered to the font dialog at that size; saved as held.
        p->fontAnswers = {std::nullopt};
        f.bChangeClick();
        QCOMPARE(p->asked.back().font.font.pointSize(), points);
        f.SaveSettings();
        TFmLayout again(*db.ds);
        QCOMPARE(again.settings.sample.fontHeight, loadedHeight);
    }

    void chosenFontSurvivesSaving()
    {
        CardDb db;
        ScopedScriptedPrompts p;
        {
            TFmLayout f(*db.ds);
            QFont font(QStringLiteral("Times"));
            font.setPointSize(12);
            font.setBold(true);
            font.setItalic(true);
            f.settings.setSampleFont(font, QColor(200, 10, 30));
            QCOMPARE(f.settings.sample.fontHeight, -20);
            QCOMPARE(f.settings.sample.fontColor, quint32(0x1E0AC8));
            f.settings.printBackground = false;
            f.settings.custom = true;
            f.settings.lines = false;
            f.settings.captions = false;
            QImage back(300, 200, QImage::Format_BGR888);
            back.fill(Qt::red);
            f.settings.setBackground(back);
            f.SaveSettings();
        }
        TFmLayout f(*db.ds);
        const QFont font = f.settings.sampleFont();
        QCOMPARE(font.family(), QStringLiteral("Times"));
        QCOMPARE(font.pointSize(), 12);
        QVERIFY(font.bold() && font.italic() && !font.underline());
        QCOMPARE(f.settings.sampleColor(), QColor(200, 10, 30));
        QCOMPARE(f.settings.sample.caption, QStringLiteral("Demo Text"));
        QVERIFY(!f.settings.printBackground && f.settings.custom && !f.settings.lines && !f.settings.captions);
        QCOMPARE(f.settings.background.size(), QSize(300, 200));
    }

    void loadingErrorKeepsWhatLoaded()
    {
        if (CardDb::onServer())
            QSKIP("a text in a number column: only the file's engine can hold one");
        CardDb db;
        // Rows and paper are read before the background and the options;
        // an unreadable paper value stops loading there.
        exec(db, QStringLiteral("update param set psize = 'A4', printback = 0, style = 2, f1 = 3"));
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        QCOMPARE(p->asked.size(), size_t(1));
        QCOMPARE(p->asked[0].title, QStringLiteral("Tessary"));
        QCOMPARE(p->asked[0].kind, MessageKind::Error);
        QVERIFY(p->asked[0].text.contains(QStringLiteral("A4")));
        QCOMPARE(f.settings.fieldList.size(), 10);
        QCOMPARE(f.settings.rowField[0], 3);
        // Everything after the failing step keeps its initial state.
        QVERIFY(f.settings.printBackground);
        QCOMPARE(f.settings.style, CardStyle::Style1);
        QVERIFY(f.settings.background.isNull());
        QVERIFY(f.settings.rowCaption[0].isEmpty());
        QCOMPARE(f.settings.sample.fontHeight, -17);
    }

    void emptyParamTableGetsARowOnSaving()
    {
        CardDb db;
        exec(db, QStringLiteral("delete from param"));
        ScopedScriptedPrompts p;
        {
            TFmLayout f(*db.ds);
            QCOMPARE(p->asked.size(), size_t(1)); // nothing to load: reported
            f.settings.rowField = {2, 0, 0, 0, 0, 0, 1};
            f.settings.style = CardStyle::Style3;
            f.SaveSettings();
        }
        QCOMPARE(stored(db, QStringLiteral("select count(*) from param")).toInt(), 1);
        TFmLayout f(*db.ds);
        QCOMPARE(f.settings.style, CardStyle::Style3);
        QCOMPARE(f.settings.rowCaption[0], QStringLiteral("Name"));
        QCOMPARE(f.settings.rowCaption[6], QStringLiteral("ID"));
    }
};

QTEST_MAIN(TestLayoutSettings)
#include "tst_layoutsettings.moc"
