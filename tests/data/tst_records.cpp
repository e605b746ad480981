// Reading fields as text, writing lines into a text field, and the component
// stream that keeps the layout label's appearance in a BLOB.

#include "carddb.h"

#include "data/errors.h"
#include "data/records.h"

#include <QRandomGenerator>

#include <limits>
#include <QTest>

using namespace tessary;
using tessary::testing::CardDb;

namespace {

// Builds component stream bytes by hand.
struct Bytes
{
    QByteArray b;
    Bytes &raw(std::initializer_list<int> values)
    {
        for (int v : values)
            b.append(char(quint8(v)));
        return *this;
    }
    Bytes &str(const char *s)
    {
        const QByteArray t(s);
        b.append(char(quint8(t.size())));
        b.append(t);
        return *this;
    }
    Bytes &header() { b.append("TPF0", 4); return str("TLabel").str("lbFont"); }
    Bytes &ident(const char *name, const char *value) { str(name).raw({7}).str(value); return *this; }
    Bytes &int8(const char *name, int v) { str(name).raw({2, v & 0xFF}); return *this; }
    Bytes &string(const char *name, const char *value) { str(name).raw({6}).str(value); return *this; }
};

// The sample label as designed, property by property.
Bytes designedProperties()
{
    Bytes s;
    s.int8("Left", 8).int8("Top", 8);
    s.str("Width").raw({3, 0xC8, 0x00});
    s.int8("Height", 40);
    s.ident("Alignment", "taCenter");
    s.str("AutoSize").raw({8});
    s.string("Caption", "Demo Text");
    s.ident("Font.Charset", "DEFAULT_CHARSET");
    s.ident("Font.Color", "clBlack");
    s.str("Font.Height").raw({2, 0xEF});
    s.string("Font.Name", "Arial");
    s.str("Font.Style").raw({11, 0});
    s.str("ParentFont").raw({8});
    s.ident("Layout", "tlCenter");
    return s;
}

LabelAppearance customLabel()
{
    LabelAppearance l;
    l.left = -200;
    l.top = 127;
    l.width = 70000;
    l.height = 128;
    l.alignment = LabelAppearance::Align::Right;
    l.autoSize = true;
    l.caption = QStringLiteral("Staff Card");
    l.fontCharset = 134;
    l.fontColor = 0x123456;
    l.fontHeight = -32;
    l.fontName = QStringLiteral("Times New Roman");
    l.fontStyle = LabelAppearance::Bold | LabelAppearance::Underline;
    l.parentFont = true;
    l.layout = LabelAppearance::VAlign::Top;
    return l;
}

// A label whose every property differs from those above, except the ones a
// stream leaves out when they hold the usual label defaults.
LabelAppearance scrambled()
{
    LabelAppearance l;
    l.left = l.top = l.width = l.height = 1;
    l.alignment = LabelAppearance::Align::Left;
    l.autoSize = true;
    l.caption = QStringLiteral("was here");
    l.fontCharset = 2;
    l.fontColor = 0x0000FF;
    l.fontHeight = -5;
    l.fontName = QStringLiteral("Symbol");
    l.fontStyle = LabelAppearance::StrikeOut;
    l.parentFont = true;
    l.layout = LabelAppearance::VAlign::Top;
    return l;
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void fieldText();
    void setFieldFromLines_data();
    void setFieldFromLines();
    void encodesDesignedLabelExactly();
    void encodesOtherValuesInSmallestForm();
    void roundTrip();
    void readsPropertiesInAnyOrder();
    void skipsUnknownPropertiesOfEveryType();
    void badStreamsLeaveLabelAlone();
    void blobColumnRoundTrip();
};

void TestRecords::fieldText()
{
    CardDb db;
    db.addMember(QStringLiteral("Abel"), -5);
    Query &q = db.ds->QStaff;
    q.open();
    QCOMPARE(FieldText(q.findField(QStringLiteral("nosuch"))), QString());
    QCOMPARE(FieldText(q.findField(QStringLiteral("remark"))), QString()); // null
    QCOMPARE(FieldText(q.findField(QStringLiteral("datejoin"))), QString());
    QCOMPARE(FieldText(q.findField(QStringLiteral("name"))), QStringLiteral("Abel"));
    QCOMPARE(FieldText(q.findField(QStringLiteral("gid"))), QStringLiteral("-5"));
    QCOMPARE(FieldText(q.findField(QStringLiteral("cardno"))), QStringLiteral("0"));
    QCOMPARE(FieldText(std::nullopt), QString());

    q.edit();
    q.fieldByName(QStringLiteral("datejoin")).setString(QStringLiteral("5/03/2024"));
    q.post();
    QVERIFY(!FieldText(q.findField(QStringLiteral("datejoin"))).isEmpty());

    // Never fails, not even on a closed query.
    q.close();
    QCOMPARE(FieldText(q.findField(QStringLiteral("name"))), QString());
}

void TestRecords::setFieldFromLines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("text");
    QTest::newRow("one line") << QStringList{QStringLiteral("abc")} << "abc\r\n";
    QTest::newRow("two lines") << QStringList{QStringLiteral("a"), QStringLiteral("b")} << "a\r\nb\r\n";
    QTest::newRow("empty line") << QStringList{QStringLiteral("")} << "\r\n";
    QTest::newRow("none") << QStringList{} << "";
}

void TestRecords::setFieldFromLines()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, text);
    CardDb db;
    db.addMember(QStringLiteral("Abel"), 0);
    Query &q = db.ds->QStaff;
    q.open();
    q.edit();
    SetFieldFromLines(q.fieldByName(QStringLiteral("remark")), lines);
    q.post();
    q.close();
    q.open();
    QCOMPARE(q.fieldByName(QStringLiteral("remark")).asString(), text);
}

void TestRecords::encodesDesignedLabelExactly()
{
    Bytes expected;
    expected.header();
    expected.b += designedProperties().b;
    expected.raw({0, 0});
    QCOMPARE(encodeComponentStream(LabelAppearance{}).toHex(' '), expected.b.toHex(' '));
}

void TestRecords::encodesOtherValuesInSmallestForm()
{
    Bytes e;
    e.header();
    e.str("Left").raw({3, 0x38, 0xFF});                // -200 in 16 bits
    e.int8("Top", 127);
    e.str("Width").raw({4, 0x70, 0x11, 0x01, 0x00});   // 70000 in 32 bits
    e.str("Height").raw({3, 0x80, 0x00});              // 128 no longer fits 8 bits
    e.ident("Alignment", "taRightJustify");
    e.string("Caption", "Staff Card");
    e.ident("Font.Charset", "GB2312_CHARSET");
    e.str("Font.Color").raw({4, 0x56, 0x34, 0x12, 0x00});
    e.str("Font.Height").raw({2, 0xE0});
    e.string("Font.Name", "Times New Roman");
    e.str("Font.Style").raw({11}).str("fsBold").str("fsUnderline").raw({0});
    e.raw({0, 0});
    QCOMPARE(encodeComponentStream(customLabel()).toHex(' '), e.b.toHex(' '));

    // A charset without a name is written as a number.
    LabelAppearance l;
    l.fontCharset = 300;
    QVERIFY(encodeComponentStream(l).contains(QByteArray("\x0c" "Font.Charset" "\x03\x2c\x01")));
}

void TestRecords::roundTrip()
{
    QList<LabelAppearance> labels{LabelAppearance{}, customLabel()};
    LabelAppearance all = customLabel();
    all.fontStyle = LabelAppearance::Bold | LabelAppearance::Italic | LabelAppearance::Underline |
                    LabelAppearance::StrikeOut;
    all.alignment = LabelAppearance::Align::Center;
    all.layout = LabelAppearance::VAlign::Bottom;
    all.autoSize = false;
    all.parentFont = false;
    all.fontColor = 0xFFFFFF;
    all.fontCharset = 300;
    all.caption = QString(300, QLatin1Char('x')); // a long string
    all.left = std::numeric_limits<qint32>::min();
    all.top = std::numeric_limits<qint32>::max();
    labels << all;

    for (const LabelAppearance &label : labels) {
        LabelAppearance read = scrambled();
        QVERIFY(decodeComponentStream(encodeComponentStream(label), read));
        QCOMPARE(read.left, label.left);
        QCOMPARE(read.caption, label.caption);
        QCOMPARE(read.fontCharset, label.fontCharset);
        QVERIFY(read == label);
    }
}

void TestRecords::readsPropertiesInAnyOrder()
{
    Bytes s;
    s.header();
    s.ident("Layout", "tlBottom");
    s.str("Font.Style").raw({11}).str("fsItalic").raw({0});
    s.string("Font.Name", "Courier New");
    s.str("Font.Color").raw({4, 0xFF, 0x00, 0x00, 0x00}); // red, as a number
    s.int8("Font.Charset", 0);
    s.int8("Font.Height", -12);
    s.string("Caption", "Back To Front");
    s.str("AutoSize").raw({9});
    s.ident("Alignment", "taLeftJustify");
    s.int8("Height", 9).int8("Width", 10).int8("Top", -3).int8("Left", 4);
    s.raw({0, 0});

    LabelAppearance l;
    QVERIFY(decodeComponentStream(s.b, l));
    QCOMPARE(l.layout, LabelAppearance::VAlign::Bottom);
    QCOMPARE(l.fontStyle, int(LabelAppearance::Italic));
    QCOMPARE(l.fontName, QStringLiteral("Courier New"));
    QCOMPARE(l.fontColor, 0x0000FFu);
    QCOMPARE(l.fontCharset, 0);
    QCOMPARE(l.fontHeight, -12);
    QCOMPARE(l.caption, QStringLiteral("Back To Front"));
    QVERIFY(l.autoSize);
    QCOMPARE(l.alignment, LabelAppearance::Align::Left);
    QCOMPARE(l.left, 4);
    QCOMPARE(l.top, -3);
    QCOMPARE(l.width, 10);
    QCOMPARE(l.height, 9);
}

void TestRecords::skipsUnknownPropertiesOfEveryType()
{
    Bytes s;
    s.header();
    s.int8("Left", 50);
    s.str("Tag").raw({2, 0x7F});
    s.str("HelpContext").raw({3, 0x34, 0x12});
    s.str("Hint.Big").raw({4, 1, 2, 3, 4});
    s.string("Hint", "a hint");
    s.ident("Cursor", "crHandPoint");
    s.str("ShowAccelChar").raw({8});
    s.str("Visible").raw({9});
    s.str("Anchors").raw({11}).str("akLeft").str("akTop").raw({0});
    s.str("Memo").raw({12, 3, 0, 0, 0}).b.append("xyz");
    s.str("Empty.Set").raw({11, 0});
    s.int8("Top", 60);
    s.raw({0, 0});

    LabelAppearance l;
    QVERIFY(decodeComponentStream(s.b, l));
    LabelAppearance expected;
    expected.left = 50;
    expected.top = 60;
    QVERIFY(l == expected);
}

void TestRecords::badStreamsLeaveLabelAlone()
{
    const LabelAppearance before = customLabel();
    const QByteArray good = encodeComponentStream(LabelAppearance{});

    LabelAppearance l = before;
    QVERIFY(!decodeComponentStream(QByteArray(), l));
    QVERIFY(l == before);

    // Every truncation of a valid stream.
    for (qsizetype n = 0; n < good.size(); ++n) {
        LabelAppearance t = before;
        QVERIFY2(!decodeComponentStream(good.left(n), t), qPrintable(QString::number(n)));
        QVERIFY2(t == before, qPrintable(QString::number(n)));
    }

    // A wrong signature, an unknown value type, a missing child list end.
    QByteArray wrongSignature = good;
    wrongSignature[3] = 'X';
    QByteArray badType = good;
    badType[badType.indexOf("Left") + 4] = char(0x63);
    QByteArray withChild = good;
    withChild[withChild.size() - 1] = char(1);
    QByteArray hugeLength = Bytes().header().str("Caption").raw({12, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}).b;
    QByteArray longerThanData = Bytes().header().str("Caption").raw({12, 0xFF, 0xFF, 0x0F, 0x00, 'a'}).b;
    QByteArray endlessSet = Bytes().header().str("Font.Style").raw({11}).str("fsBold").b;
    for (const QByteArray &bad : {wrongSignature, badType, withChild, hugeLength, longerThanData, endlessSet}) {
        LabelAppearance t = before;
        QVERIFY(!decodeComponentStream(bad, t));
        QVERIFY(t == before);
    }

    // Random bytes after a valid signature: refused without harm.
    QRandomGenerator rng(12345);
    for (int i = 0; i < 2000; ++i) {
        QByteArray junk = good.left(4 + int(rng.bounded(quint32(good.size() - 4))));
        const int tail = int(rng.bounded(64u));
        for (int k = 0; k < tail; ++k)
            junk.append(char(rng.bounded(256u)));
        LabelAppearance t = before;
        if (!decodeComponentStream(junk, t))
            QVERIFY(t == before);
    }
}

void TestRecords::blobColumnRoundTrip()
{
    CardDb db;
    Query param(&db.ds->src, QStringLiteral("param"));
    param.setSql({QStringLiteral("select * from param")});
    param.open();

    // The new database holds no stream: the label keeps its design.
    LabelAppearance designed;
    LoadComponentFromBlob(param.fieldByName(QStringLiteral("font")), designed);
    QVERIFY(designed == LabelAppearance{});
    QCOMPARE(designed.fontName, QStringLiteral("Arial"));
    QCOMPARE(designed.fontHeight, -17);
    QCOMPARE(designed.fontColor, 0u);

    // Outside an edit the store is silently skipped.
    SaveComponentToBlob(param.fieldByName(QStringLiteral("font")), customLabel());

    param.edit();
    SaveComponentToBlob(param.fieldByName(QStringLiteral("font")), customLabel());
    param.post();
    param.close();
    param.open();
    LabelAppearance read = scrambled();
    LoadComponentFromBlob(param.fieldByName(QStringLiteral("font")), read);
    QVERIFY(read == customLabel());

    // Junk in the column changes nothing; an empty query neither.
    param.edit();
    param.fieldByName(QStringLiteral("font")).setBytes(QByteArray("TPF0\x06TLab", 9));
    param.post();
    LabelAppearance kept;
    LoadComponentFromBlob(param.fieldByName(QStringLiteral("font")), kept);
    QVERIFY(kept == LabelAppearance{});
    param.deleteRow();
    LoadComponentFromBlob(param.fieldByName(QStringLiteral("font")), kept);
    QVERIFY(kept == LabelAppearance{});
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
