// Stored layouts print where they always have: for each style on A6 and A4,
// in print and preview geometry, from param rows (odd stored values
// included), the sheet, the card grid and every element's box, font and
// text. The expected digests were recorded from the banded-report card run
// before cards were built from designs; a digest that changes is a
// regression. Run with TESSARY_RECORD=1 to print the digests.

#include "cardfixture.h"

#include "card/cardprinting.h"

#include <QApplication>

using namespace tessary;
using namespace cardtest;

namespace {

QString mm(double v)
{
    return QString::number(v, 'f', 2);
}

// Sheet and grid: page size, orientation, cards on the first sheet, the
// first and the last card's corner, the sheet count.
QString sheetDigest(const Run &r)
{
    const LayoutPage &p = r.layout.pages[0];
    QString s = mm(r.layout.pageSize().width()) + QLatin1Char('x') + mm(r.layout.pageSize().height()) +
                (r.layout.page.orientation == QPageLayout::Landscape ? QStringLiteral(" L") : QStringLiteral(" P")) +
                QStringLiteral(" n%1 s%2").arg(p.bands.size()).arg(r.layout.pageCount());
    for (const PlacedBand *b : {&p.bands.front(), &p.bands.back()})
        s += QLatin1Char(' ') + mm(b->origin.x()) + QLatin1Char(',') + mm(b->origin.y());
    return s;
}

// Every element of the first card, in painting order, relative to the card.
QString cardDigest(const Run &r)
{
    const LayoutPage &p = r.layout.pages[0];
    const QPointF o = p.bands[0].origin;
    QStringList parts;
    for (const NamedItem &n : r.pages[0]) {
        if (n.item.placement != 0)
            continue;
        const LayoutItem &i = n.item;
        QString s = n.name + QLatin1Char(' ');
        if (i.kind == LayoutItem::Kind::Line) {
            s += mm(i.line.x1() - o.x()) + QLatin1Char(' ') + mm(i.line.y1() - o.y()) + QLatin1Char(' ') +
                 mm(i.line.x2() - o.x()) + QLatin1Char(' ') + i.penColor.name();
        } else {
            const QRectF b = i.box.translated(-o);
            s += mm(b.left()) + QLatin1Char(' ') + mm(b.top()) + QLatin1Char(' ') + mm(b.width()) + QLatin1Char(' ') +
                 mm(b.height());
            if (i.kind == LayoutItem::Kind::Text)
                s += QStringLiteral(" %1/%2%3%4%5 %6 [%7]")
                         .arg(i.font.family)
                         .arg(i.font.pointSize)
                         .arg(i.font.bold ? QStringLiteral("b") : QString())
                         .arg(i.font.italic ? QStringLiteral("i") : QString())
                         .arg(i.clip ? QStringLiteral(" clip") : QString())
                         .arg(i.font.color.name())
                         .arg(i.text);
        }
        parts << s;
    }
    return parts.join(QStringLiteral("; "));
}

struct Case
{
    const char *tag;
    std::vector<std::pair<const char *, int>> param;
    bool preview;
};

} // namespace

class TestStoredLayouts : public QObject
{
    Q_OBJECT

private slots:
    void sameBoxesAsBefore_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("preview");
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QString>("card");
        // The stored row for each case and the digests recorded before.
        const std::vector<Case> cases = {
            {"style 1 A6 print (seed)", {}, false},
            {"style 1 A6 preview", {}, true},
            {"style 2 A4 print, osx 35 osy -40", {{"style", 1}, {"psize", 1}, {"osx", 35}, {"osy", -40}}, false},
            {"style 3 A6 print, osx 10 osy -5", {{"style", 2}, {"osx", 10}, {"osy", -5}}, false},
            {"style 3 A6 preview, osx 10 osy -5", {{"style", 2}, {"osx", 10}, {"osy", -5}}, true},
            {"style 3 psize 3 print, osx -20 osy 30", {{"style", 2}, {"psize", 3}, {"osx", -20}, {"osy", 30}}, false},
            {"style 3 psize 3 preview", {{"style", 2}, {"psize", 3}}, true},
            {"style 7 psize -1 print", {{"style", 7}, {"psize", -1}}, false},
            {"style 1 custom position 120, no captions", {{"custom", 1}, {"position", 120}, {"captions", 0}}, false},
            {"style 2 A4 custom position 12, no lines",
             {{"style", 1}, {"psize", 1}, {"custom", 1}, {"position", 12}, {"lines", 0}}, true},
            {"style 3 A4 custom print", {{"style", 2}, {"psize", 1}, {"custom", 1}}, false},
            {"rows not used, nothing, unknown",
             {{"f2", 0}, {"f3", -1}, {"f4", 99}, {"f5", 5}, {"f6", 6}, {"f7", 9}, {"printback", 0}}, false},
        };
        for (size_t i = 0; i < cases.size(); ++i) {
            QString setting;
            for (const auto &[name, value] : cases[i].param)
                setting += QStringLiteral("%1=%2 ").arg(QString::fromLatin1(name)).arg(value);
            const auto recorded = i < kRecorded.size() ? kRecorded[i] : std::pair<QString, QString>();
            QTest::newRow(cases[i].tag) << setting.trimmed() << cases[i].preview << recorded.first << recorded.second;
        }
    }

    void sameBoxesAsBefore()
    {
        QFETCH(QString, setting);
        QFETCH(bool, preview);
        QFETCH(QString, sheet);
        QFETCH(QString, card);
        testing::CardDb db;
        addMember(db, {.name = QStringLiteral("M00 Wolfgang Amadeus Theophilus Mozart-Lindqvist"),
                       .staffno = QStringLiteral("S-0001"), .datejoin = QDate(2009, 3, 5),
                       .expiry = QDate(2030, 12, 1), .post = QStringLiteral("Chief"), .cardno = 40712});
        addMembers(db, 10);
        for (const QString &pair : setting.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QByteArray name = pair.section(QLatin1Char('='), 0, 0).toLatin1();
            setParam(db, {{name.constData(), pair.section(QLatin1Char('='), 1).toInt()}});
        }
        ScopedScriptedPrompts p;
        TFmLayout f(*db.ds);
        db.ds->QList.setSql(groupCardsSql(0));
        db.ds->QList.open();
        RecordingOutput out;
        out.readPictures = false;
        f.CardRun(preview ? CardMode::Preview : CardMode::Print, out);
        const Run &r = out.runs.at(0);
        if (qEnvironmentVariableIsSet("TESSARY_RECORD")) {
            qInfo().noquote() << QStringLiteral("{QStringLiteral(\"%1\"),\n QStringLiteral(\"%2\")},")
                                     .arg(sheetDigest(r), cardDigest(r));
            return;
        }
        QCOMPARE(sheetDigest(r), sheet);
        QCOMPARE(cardDigest(r), card);
    }

private:
    static const std::vector<std::pair<QString, QString>> kRecorded;
};

const std::vector<std::pair<QString, QString>> TestStoredLayouts::kRecorded = {
#include "storedlayouts.inc"
};

int main(int argc, char **argv)
{
    qputenv("LC_ALL", "en_GB.UTF-8");
    QApplication app(argc, argv);
    TestStoredLayouts test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_storedlayouts.moc"
