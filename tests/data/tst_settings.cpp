// The per-user settings store, kept in a temporary folder: defaults, values
// kept as text, values that are not what they should be.

#include "data/errors.h"
#include "data/settings.h"

#include <QFile>
#include <QRect>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

using namespace tessary;

namespace {

std::unique_ptr<QSettings> store()
{
    return std::make_unique<QSettings>(QStringLiteral("KESMAR"), QStringLiteral("VaraDavuz"));
}

void putRaw(const QString &name, const QVariant &value)
{
    QSettings s(QStringLiteral("KESMAR"), QStringLiteral("VaraDavuz"));
    s.setValue(name, value);
}

class FakeGrid : public ColumnWidthTarget
{
public:
    std::vector<ColumnKind> kinds;
    std::vector<int> widths;

    explicit FakeGrid(std::vector<ColumnKind> k) : kinds(std::move(k)), widths(kinds.size(), -1) {}
    int columnCount() const override { return int(kinds.size()); }
    ColumnKind columnKind(int column) const override { return kinds.at(size_t(column)); }
    int columnWidth(int column) const override { return widths.at(size_t(column)); }
    void setColumnWidth(int column, int width) override { widths.at(size_t(column)) = width; }
};

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void defaultsWithoutStore();
    void valuesAreWrittenAsText();
    void unreadableNumbersGiveDefault_data();
    void unreadableNumbersGiveDefault();
    void emptyTextIsKept();
    void nonTextValueIsRefused();
    void refusedWriteIsReported();
    void columnWidths();

private:
    QTemporaryDir m_dir;
};

void TestSettings::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    // Never the operator's own settings.
    QVERIFY2(store()->fileName().startsWith(m_dir.path()), qPrintable(store()->fileName()));
}

void TestSettings::init()
{
    auto s = store();
    s->clear();
    s->sync();
}

void TestSettings::defaultsWithoutStore()
{
    QFile::remove(store()->fileName());
    QCOMPARE(ReadIntSetting(QStringLiteral("MainWin_TOP"), 0), 0);
    QCOMPARE(ReadIntSetting(QStringLiteral("MainWin_WIDTH"), 640), 640);
    QCOMPARE(ReadIntSetting(QStringLiteral("MainWin_HEIGHT"), 480), 480);
    QCOMPARE(ReadBoolSetting(QStringLiteral("MainWin_MAX"), false), false);
    QCOMPARE(ReadBoolSetting(QStringLiteral("MainWin_MAX"), true), true);
    QCOMPARE(ReadStringSetting(QStringLiteral("SortField"), QStringLiteral("name")), QStringLiteral("name"));
    QCOMPARE(ReadIntSetting(QStringLiteral("PORT"), 1), 1);
}

void TestSettings::valuesAreWrittenAsText()
{
    WriteIntSetting(QStringLiteral("MainWin_LEFT"), -8);
    WriteIntSetting(QStringLiteral("MainWin_WIDTH"), 1024);
    WriteBoolSetting(QStringLiteral("MainWin_MAX"), true);
    WriteBoolSetting(QStringLiteral("Other_MAX"), false);
    WriteStringSetting(QStringLiteral("SortField"), QStringLiteral("staffno"));

    auto s = store();
    QCOMPARE(s->value(QStringLiteral("MainWin_LEFT")), QVariant(QStringLiteral("-8")));
    QCOMPARE(s->value(QStringLiteral("MainWin_WIDTH")), QVariant(QStringLiteral("1024")));
    QCOMPARE(s->value(QStringLiteral("MainWin_MAX")), QVariant(QStringLiteral("1")));
    QCOMPARE(s->value(QStringLiteral("Other_MAX")), QVariant(QStringLiteral("0")));
    QCOMPARE(s->value(QStringLiteral("SortField")), QVariant(QStringLiteral("staffno")));

    QCOMPARE(ReadIntSetting(QStringLiteral("MainWin_LEFT"), 0), -8);
    QCOMPARE(ReadIntSetting(QStringLiteral("MainWin_WIDTH"), 640), 1024);
    QCOMPARE(ReadBoolSetting(QStringLiteral("MainWin_MAX"), false), true);
    QCOMPARE(ReadBoolSetting(QStringLiteral("Other_MAX"), true), false);
    QCOMPARE(ReadStringSetting(QStringLiteral("SortField"), QStringLiteral("name")), QStringLiteral("staffno"));

    // Sort orders hold commas; texts that look like other kinds stay text.
    for (const char *text : {"staffno,name", "name,name", "a, b", "@Rect(1 2 3 4)", " padded ", "\"quoted\"", "x;y"}) {
        WriteStringSetting(QStringLiteral("SortField"), QString::fromLatin1(text));
        QCOMPARE(ReadStringSetting(QStringLiteral("SortField"), QStringLiteral("name")), QString::fromLatin1(text));
    }

    // Nothing is cached: a change made outside is read at once.
    putRaw(QStringLiteral("MainWin_WIDTH"), QStringLiteral("800"));
    QCOMPARE(ReadIntSetting(QStringLiteral("MainWin_WIDTH"), 640), 800);
}

void TestSettings::unreadableNumbersGiveDefault_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("asInt");    // default 640
    QTest::addColumn<bool>("asBool");  // default true
    QTest::addColumn<int>("inRange");  // read within 1..16384, default 640

    QTest::newRow("letters") << "abc" << 640 << true << 640;
    QTest::newRow("empty") << "" << 640 << true << 640;
    QTest::newRow("trailing letters") << "12px" << 640 << true << 640;
    QTest::newRow("fraction") << "1.5" << 640 << true << 640;
    QTest::newRow("too large") << "99999999999" << 640 << true << 640;
    QTest::newRow("zero") << "0" << 0 << false << 640;
    QTest::newRow("two") << "2" << 2 << true << 2;
    QTest::newRow("negative") << "-1" << -1 << true << 640;
    QTest::newRow("highest") << "16384" << 16384 << true << 16384;
    QTest::newRow("above highest") << "16385" << 16385 << true << 640;
}

void TestSettings::unreadableNumbersGiveDefault()
{
    QFETCH(QString, text);
    QFETCH(int, asInt);
    QFETCH(bool, asBool);
    QFETCH(int, inRange);
    putRaw(QStringLiteral("MainWin_WIDTH"), text);
    QCOMPARE(ReadIntSetting(QStringLiteral("MainWin_WIDTH"), 640), asInt);
    QCOMPARE(ReadIntSetting(QStringLiteral("MainWin_WIDTH"), 640, 1, 16384), inRange);
    QCOMPARE(ReadBoolSetting(QStringLiteral("MainWin_WIDTH"), true), asBool);
}

void TestSettings::emptyTextIsKept()
{
    WriteStringSetting(QStringLiteral("SortField"), QString());
    QCOMPARE(ReadStringSetting(QStringLiteral("SortField"), QStringLiteral("name")), QString());
    putRaw(QStringLiteral("SortField"), QStringLiteral(""));
    QCOMPARE(ReadStringSetting(QStringLiteral("SortField"), QStringLiteral("name")), QString());
}

void TestSettings::nonTextValueIsRefused()
{
    putRaw(QStringLiteral("PORT"), QRect(1, 2, 3, 4));
    putRaw(QStringLiteral("SortField"), QRect(5, 6, 7, 8));
    try {
        ReadIntSetting(QStringLiteral("PORT"), 1);
        QFAIL("read a value that is not text");
    } catch (const Error &e) {
        QCOMPARE(e.message(), QStringLiteral("Invalid data type for 'PORT'"));
    }
    QVERIFY_THROWS_EXCEPTION(Error, ReadBoolSetting(QStringLiteral("PORT"), false));
    try {
        ReadStringSetting(QStringLiteral("SortField"), QStringLiteral("name"));
        QFAIL("read a value that is not text");
    } catch (const Error &e) {
        QCOMPARE(e.message(), QStringLiteral("Invalid data type for 'SortField'"));
    }
    // A text with commas typed without quotes reads back as a list: it is
    // that text.
    putRaw(QStringLiteral("Other"), QStringList{QStringLiteral("staffno"), QStringLiteral("name")});
    QCOMPARE(ReadStringSetting(QStringLiteral("Other"), QStringLiteral("name")), QStringLiteral("staffno,name"));
    // Writing replaces it with text again.
    WriteIntSetting(QStringLiteral("PORT"), 3);
    QCOMPARE(ReadIntSetting(QStringLiteral("PORT"), 1), 3);
}

void TestSettings::refusedWriteIsReported()
{
    // A store whose folder cannot be made: its path runs through a file.
    const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
    {
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker);
    QString message;
    try {
        WriteIntSetting(QStringLiteral("PORT"), 2);
    } catch (const Error &e) {
        message = e.message();
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    QCOMPARE(message, QStringLiteral("Failed to set data for 'PORT'"));
}

void TestSettings::columnWidths()
{
    FakeGrid grid({ColumnKind::AnsiText, ColumnKind::Boolean, ColumnKind::DateTime, ColumnKind::Other});
    RestoreColumnWidths(QStringLiteral("MainGrid"), grid);
    QCOMPARE(grid.widths, (std::vector<int>{200, 50, 150, 100}));

    putRaw(QStringLiteral("MainGrid_1"), QStringLiteral("77"));
    putRaw(QStringLiteral("MainGrid_2"), QStringLiteral("wide"));
    RestoreColumnWidths(QStringLiteral("MainGrid"), grid);
    QCOMPARE(grid.widths, (std::vector<int>{200, 77, 150, 100}));

    grid.widths = {10, 20, 30, 40};
    SaveColumnWidths(QStringLiteral("MainGrid"), grid);
    auto s = store();
    for (int i = 0; i < 4; ++i)
        QCOMPARE(s->value(QStringLiteral("MainGrid_%1").arg(i)), QVariant(QString::number((i + 1) * 10)));
    FakeGrid again({ColumnKind::Other, ColumnKind::Other, ColumnKind::Other, ColumnKind::Other});
    RestoreColumnWidths(QStringLiteral("MainGrid"), again);
    QCOMPARE(again.widths, (std::vector<int>{10, 20, 30, 40}));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
