// Connecting to the card database file: connection strings, refusal of files
// that are missing or not card databases, and what a disconnect does.

#include "carddb.h"

#include "data/connection.h"
#include "data/errors.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace tessary;
using tessary::testing::CardDb;

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void connectionStrings();
    void pathWithSpacesOpens();
    void refusesBadFiles_data();
    void refusesBadFiles();
    void createRefusesExistingFile();
    void disconnectClosesQueriesAndReconnects();
    void fileCopiesWhileConnectedAreComplete();
    void newDatabaseHoldsDefaultGroupAndLayout();
};

void TestConnection::connectionStrings()
{
    const QString path = QStringLiteral("/opt/Vara Davuz/a;b/cardinfo.mdb");
    const QString text = cardConnectionString(path);
    QCOMPARE(text, QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=\"") + path +
                       QStringLiteral("\";Mode=ReadWrite;Extended Properties=\"\";Jet OLEDB:Database Password=qlmr.zt"));
    const ConnectionParameters p = parseConnectionString(text);
    QCOMPARE(p.dataSource, path);
    QCOMPARE(p.password, QStringLiteral("qlmr.zt"));
    QCOMPARE(p.provider, QStringLiteral("Microsoft.Jet.OLEDB.4.0"));

    const ConnectionParameters e = parseConnectionString(exportConnectionString(QStringLiteral("/tmp/x y/out.mdb")));
    QCOMPARE(e.dataSource, QStringLiteral("/tmp/x y/out.mdb"));
    QCOMPARE(e.password, QStringLiteral("qlmr.zt"));

    // Paths holding a separator or a quote still name the same file.
    for (const QString &odd : {QStringLiteral("/tmp/a;b/out.mdb"), QStringLiteral("/tmp/say \"hi\"/out.mdb")}) {
        QCOMPARE(parseConnectionString(exportConnectionString(odd)).dataSource, odd);
        QCOMPARE(parseConnectionString(cardConnectionString(odd)).dataSource, odd);
    }
}

void TestConnection::pathWithSpacesOpens()
{
    SKIP_ON_SERVER();
    CardDb db(QStringLiteral("Program Files/Vara Davuz"));
    QVERIFY(db.path().contains(QLatin1Char(' ')));
    QVERIFY(db.ds->src.connected());
    QCOMPARE(db.ds->src.databasePath(), db.path());
    db.ds->QGroup.open();
    QCOMPARE(db.ds->QGroup.recordCount(), 1);
}

void TestConnection::refusesBadFiles_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::addColumn<QString>("expected");   // part of the message

    QTest::newRow("missing") << QByteArray() << "unable to open database file";
    QTest::newRow("text file") << QByteArray("Name,Card\nAbel,1\n").repeated(50) << "file is not a database";
    QTest::newRow("empty file") << QByteArray("") << "table 'grptbl' is missing";
}

void TestConnection::refusesBadFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cardinfo.mdb"));
    if (!content.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    Tdsrc ds;
    ds.src.setConnectionString(cardConnectionString(path));
    try {
        ds.src.connect();
        QFAIL("connected to a file that is not a card database");
    } catch (const Error &e) {
        QVERIFY2(e.message().contains(expected), qPrintable(e.message()));
        QVERIFY2(e.message().contains(path), qPrintable(e.message()));
    }
    QVERIFY(!ds.src.connected());
    QVERIFY_THROWS_EXCEPTION(Error, ds.QGroup.open());

    // Nothing was created or changed, and no journal was left behind.
    QCOMPARE(QFileInfo::exists(path), !content.isNull());
    if (!content.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), content);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), content.isNull() ? 0 : 1);
}

void TestConnection::createRefusesExistingFile()
{
    SKIP_ON_SERVER();
    CardDb db;
    db.addMember(QStringLiteral("Abel"), 0);
    QVERIFY_THROWS_EXCEPTION(Error, createCardDatabase(db.path(), CardDatabaseSeed{}));
    db.ds->QAllStaff.close();
    db.ds->QAllStaff.open();
    QCOMPARE(db.ds->QAllStaff.recordCount(), 1);
}

void TestConnection::disconnectClosesQueriesAndReconnects()
{
    CardDb db;
    db.addMember(QStringLiteral("Abel"), 0);
    Tdsrc &ds = *db.ds;
    ds.QGroup.open();
    ds.QStaff.open();
    QVERIFY(ds.QGroup.isOpen() && ds.QStaff.isOpen() && ds.QAllStaff.isOpen());

    ds.src.disconnect();
    QVERIFY(!ds.src.connected());
    QVERIFY(!ds.QGroup.isOpen());
    QVERIFY(!ds.QStaff.isOpen());
    QVERIFY(!ds.QAllStaff.isOpen());

    ds.src.connect();
    ds.QStaff.open();
    QCOMPARE(ds.QStaff.recordCount(), 1);
    QCOMPARE(ds.QStaff.fieldByName(QStringLiteral("name")).asString(), QStringLiteral("Abel"));
}

void TestConnection::fileCopiesWhileConnectedAreComplete()
{
    SKIP_ON_SERVER();
    // A backup copies the file while connected; a restore disconnects,
    // replaces the file and connects again.
    CardDb db;
    db.addMember(QStringLiteral("Abel"), 0);
    db.ds->QStaff.open();
    const QString backup = db.folder() + QStringLiteral("/backup.mdb");
    QVERIFY(QFile::copy(db.path(), backup));

    db.addMember(QStringLiteral("Baker"), 0);
    {
        Tdsrc other;
        other.src.setConnectionString(cardConnectionString(backup));
        other.src.connect();
        other.QAllStaff.open();
        QCOMPARE(CardDb::names(other.QAllStaff), QStringList{QStringLiteral("Abel")});
    }

    db.ds->src.disconnect();
    QVERIFY(QFile::remove(db.path()));
    QVERIFY(QFile::copy(backup, db.path()));
    db.ds->src.connect();
    db.ds->QStaff.open();
    QCOMPARE(CardDb::names(db.ds->QStaff), QStringList{QStringLiteral("Abel")});
}

void TestConnection::newDatabaseHoldsDefaultGroupAndLayout()
{
    CardDb db;
    Query &g = db.ds->QGroup;
    g.open();
    QCOMPARE(g.recordCount(), 1);
    QCOMPARE(g.fieldByName(QStringLiteral("gdesc")).asString(), QStringLiteral("DEFAULT"));
    QCOMPARE(g.fieldByName(QStringLiteral("gid")).asInteger(), 0);

    Query param(&db.ds->src, QStringLiteral("param"));
    param.setSql({QStringLiteral("select * from param")});
    param.open();
    QCOMPARE(param.recordCount(), 1);
    Query fields(&db.ds->src, QStringLiteral("fields"));
    fields.setSql({QStringLiteral("select * from fields")});
    fields.open();
    QVERIFY(fields.recordCount() > 0);
    QVERIFY(fields.locate(QStringLiteral("fname"), QStringLiteral("datejoin")));
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
