// Backup and restore of the card database file, the file copy they share,
// and the owner-only modes of every database file the program makes.

#include "exchangefixture.h"

#include "data/errors.h"
#include "data/prompts.h"
#include "data/schema.h"
#include "exchange/databasefiles.h"
#include "exchange/filecopy.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>

#include <csignal>

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessary;
using namespace tessary::testing;

namespace {

const QString kCannotLoad = QStringLiteral("Database cannot be loaded.");

// Files may grow to `bytes` only, for the scope: a write beyond it fails
// part-way as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old;
    void (*m_oldHandler)(int);
};

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char &c : bytes)
        c = char(generator.generate() & 0xFF);
    return bytes;
}

QStringList hiddenFiles(const QString &folder)
{
    return QDir(folder).entryList(QDir::Hidden | QDir::Files | QDir::NoDotAndDotDot).filter(QRegularExpression(QStringLiteral("^\\.")));
}

} // namespace

class TestDatabaseFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void databaseFilesAreOwnerOnly();
    void backupIsAByteCopy();
    void backupAsksBeforeReplacing();
    void restoreReplacesAndReopens();
    void restoreRefusesWrongFiles();
    void failedCopyDamagesNothing();
    void backupRefusesTheLiveDatabase();
    void readLockKeepsWritersOut();
    void restoringTheKeptCopyBringsTheOldBack();
    void staleTemporariesAreRemoved();
    void onlyRegularFilesAreRead();

private:
    DatabaseFiles files() { return DatabaseFiles(*m_db->ds, m_db->path()); }
    ScriptedPrompts &p() { return **m_prompts; }
    QString other(const QString &name) const { return m_db->folder() + QStringLiteral("/other/") + name; }
    // What the live card database holds: the file's bytes, or on a server
    // every value of its rows; and the same of a backup file.
    QStringList liveState() const
    {
        return m_db->ds->src.isServer() ? dump(m_db->ds->src.engine())
                                        : QStringList{QString::fromLatin1(fileBytes(m_db->path()).toHex())};
    }
    QStringList backupState(const QString &path) const
    {
        return m_db->ds->src.isServer() ? dumpFile(path) : QStringList{QString::fromLatin1(fileBytes(path).toHex())};
    }

    std::unique_ptr<CardDb> m_db;
    std::unique_ptr<ScopedScriptedPrompts> m_prompts;
};

void TestDatabaseFiles::init()
{
    m_db = std::make_unique<CardDb>();
    m_prompts = std::make_unique<ScopedScriptedPrompts>();
    QVERIFY(QDir().mkpath(m_db->folder() + QStringLiteral("/other")));
    m_db->addMember(QStringLiteral("Live"), 0, randomBytes(300000)); // larger than the fault test's limit
    m_db->ds->QAllStaff.close();
    m_db->ds->QGroup.open();
    m_db->ds->QStaff.open();
}

void TestDatabaseFiles::cleanup()
{
    m_prompts.reset();
    m_db.reset();
}

void TestDatabaseFiles::databaseFilesAreOwnerOnly()
{
    const mode_t old = ::umask(0);
    createCardDatabase(other(QStringLiteral("card.mdb")), CardDatabaseSeed{});
    createExportTemplate(other(QStringLiteral("template.mdb")));
    QVERIFY(CopyFileReplacing(other(QStringLiteral("card.mdb")), other(QStringLiteral("copy.mdb"))));
    ::umask(old);
    QCOMPARE(fileMode(other(QStringLiteral("card.mdb"))), 0600);
    QCOMPARE(fileMode(other(QStringLiteral("template.mdb"))), 0600);
    QCOMPARE(fileMode(other(QStringLiteral("copy.mdb"))), 0600);

    // The copy reports a missing source or a vanished target folder.
    QString error;
    QVERIFY(!CopyFileReplacing(other(QStringLiteral("none.mdb")), other(QStringLiteral("x.mdb")), &error));
    QVERIFY(error.contains(QStringLiteral("none.mdb")));
    QVERIFY(!CopyFileReplacing(other(QStringLiteral("card.mdb")), m_db->folder() + QStringLiteral("/gone/x.mdb"), &error));
    QVERIFY(error.contains(QStringLiteral("gone")));
}

void TestDatabaseFiles::backupIsAByteCopy()
{
    const QString target = other(QStringLiteral("backup.mdb"));
    p().fileAnswers.push_back(target);
    QVERIFY(files().Backup());
    QCOMPARE(p().asked.front().what, QStringLiteral("save"));
    QCOMPARE(p().asked.front().text, QStringLiteral("Database (*.mdb)|*.mdb|All Files (*.*)|*.*"));
    QCOMPARE(p().asked.front().initial, QStringLiteral("cardinfo.mdb"));
    QCOMPARE(p().asked.front().defaultExt, QString());
    QCOMPARE(p().messages(), QStringList{QStringLiteral("Database saved.")});
    QCOMPARE(backupState(target), liveState());
    QCOMPARE(fileMode(target), 0600);
    QVERIFY(m_db->ds->src.connected()); // the database stayed open

    p().clear();
    p().fileAnswers.push_back(QString());
    QVERIFY(!files().Backup());
    QVERIFY(p().messages().isEmpty());
}

void TestDatabaseFiles::backupAsksBeforeReplacing()
{
    const QString target = other(QStringLiteral("old.mdb"));
    QFile f(target);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("keep me");
    f.close();

    p().fileAnswers.push_back(target);
    p().messageAnswers.push_back(MessageResult::Cancel);
    QVERIFY(!files().Backup());
    QCOMPARE(p().messages(), QStringList{QStringLiteral("Overwrite the file?")});
    QCOMPARE(fileBytes(target), QByteArray("keep me"));

    p().clear();
    p().fileAnswers.push_back(target);
    p().messageAnswers.push_back(MessageResult::Ok);
    QVERIFY(files().Backup());
    QCOMPARE(p().messages(), (QStringList{QStringLiteral("Overwrite the file?"), QStringLiteral("Database saved.")}));
    QCOMPARE(backupState(target), liveState());
}

void TestDatabaseFiles::restoreReplacesAndReopens()
{
    if (CardDb::onServer())
        QSKIP("a server keeps no before-restore file and no journal (restore on a server: tst_exchange_serverfiles)");
    // A backup with other members.
    const QString backup = other(QStringLiteral("backup.mdb"));
    {
        Tdsrc second;
        createCardDatabase(backup, CardDatabaseSeed{});
        second.src.setConnectionString(cardConnectionString(backup));
        second.src.connect();
        second.QAllStaff.open();
        second.QAllStaff.append();
        second.QAllStaff.fieldByName(QStringLiteral("name")).setString(QStringLiteral("Restored"));
        second.QAllStaff.post();
    }
    ::chmod(QFile::encodeName(backup).constData(), 0644);
    const QByteArray live = fileBytes(m_db->path());
    // A journal left beside the old database must not reach the new one.
    QFile journal(m_db->path() + QStringLiteral("-journal"));
    QVERIFY(journal.open(QIODevice::WriteOnly));
    journal.write(randomBytes(4096));
    journal.close();

    QSignalSpy announced(&m_db->ds->src, &Connection::dataChanged);
    p().fileAnswers.push_back(backup);
    p().messageAnswers.push_back(MessageResult::Ok);
    QVERIFY(files().Restore());
    QCOMPARE(p().asked.at(0).text, QStringLiteral("Card database (*.mdb)|*.mdb|Copy kept before the last restore "
                                                  "(*.before-restore)|*.before-restore"));
    QCOMPARE(p().asked.at(0).defaultExt, QStringLiteral("mdb"));
    QCOMPARE(p().messages(), QStringList{QStringLiteral("You are choosing to overwrite an existing file. Are you sure?")});
    QCOMPARE(announced.count(), 1);

    QVERIFY(!QFileInfo::exists(m_db->path() + QStringLiteral("-journal")));
    QCOMPARE(fileBytes(files().beforeRestorePath()), live);
    QCOMPARE(fileMode(files().beforeRestorePath()), 0600);
    QCOMPARE(fileMode(m_db->path()), 0600);
    Query &staff = m_db->ds->QStaff;
    QVERIFY(m_db->ds->QGroup.isOpen() && staff.isOpen());
    QCOMPARE(CardDb::names(staff), QStringList{QStringLiteral("Restored")});
    // The restored database takes row changes.
    staff.first();
    staff.edit();
    staff.fieldByName(QStringLiteral("post")).setString(QStringLiteral("Boss"));
    staff.post();
    staff.close();
    staff.open();
    QCOMPARE(staff.fieldByName(QStringLiteral("post")).asString(), QStringLiteral("Boss"));

    // Cancel at the confirmation leaves everything as it is.
    p().clear();
    p().fileAnswers.push_back(backup);
    p().messageAnswers.push_back(MessageResult::Cancel);
    QVERIFY(!files().Restore());
    QVERIFY(staff.isOpen());
    QCOMPARE(announced.count(), 1);
}

void TestDatabaseFiles::restoreRefusesWrongFiles()
{
    const QString text = other(QStringLiteral("notes.mdb"));
    QFile f(text);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(8192, 'n'));
    f.close();
    const QString foreign = other(QStringLiteral("access.mdb"));
    createExportTemplate(foreign);
    const QString lacking = other(QStringLiteral("lacking.mdb"));
    createCardDatabase(lacking, CardDatabaseSeed{});
    {
        Connection c;
        c.setConnectionString(cardConnectionString(lacking));
        c.connect();
        c.exec(QStringLiteral("ALTER TABLE stafftbl DROP COLUMN remark"));
    }
    // Names all there, but a type the group query refuses, or no layout row.
    const QString retyped = other(QStringLiteral("retyped.mdb"));
    const QString noLayout = other(QStringLiteral("nolayout.mdb"));
    for (const QString &path : {retyped, noLayout}) {
        createCardDatabase(path, CardDatabaseSeed{});
        Connection c;
        c.setConnectionString(cardConnectionString(path));
        c.connect();
        if (path == retyped)
            c.exec(QStringLiteral("DROP TABLE grptbl; CREATE TABLE grptbl (seq INTEGER PRIMARY KEY AUTOINCREMENT, "
                                  "gid INTEGER, gdesc NVARCHAR(255)); INSERT INTO grptbl (gid, gdesc) VALUES (0, 'DEFAULT')"));
        else
            c.exec(QStringLiteral("DELETE FROM param"));
    }
    const QString fifo = other(QStringLiteral("fifo.mdb"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    if (!CardDb::onServer())
        QVERIFY(CheckCardDatabase(m_db->path()).isEmpty());
    QCOMPARE(CheckCardDatabase(lacking), QStringLiteral("table 'stafftbl' has no column 'remark'"));
    QVERIFY(CheckCardDatabase(retyped).contains(QStringLiteral("'gid'")));
    QCOMPARE(CheckCardDatabase(noLayout), QStringLiteral("table 'param' holds no row"));

    const QStringList live = liveState();
    QSignalSpy announced(&m_db->ds->src, &Connection::dataChanged);
    for (const QString &wrong : {text, foreign, lacking, retyped, noLayout, fifo, QStringLiteral("/dev/zero")}) {
        p().clear();
        p().fileAnswers.push_back(wrong);
        p().messageAnswers.push_back(MessageResult::Ok);
        QVERIFY(!files().Restore());
        QCOMPARE(p().messages().last(), kCannotLoad);
        QVERIFY(m_db->ds->src.connected() && m_db->ds->QStaff.isOpen());
        QCOMPARE(CardDb::names(m_db->ds->QStaff), QStringList{QStringLiteral("Live")});
    }
    QCOMPARE(liveState(), live);
    QVERIFY(!QFileInfo::exists(files().beforeRestorePath()));
    QCOMPARE(hiddenFiles(m_db->folder()), QStringList());
    QCOMPARE(announced.count(), 0);
}

void TestDatabaseFiles::failedCopyDamagesNothing()
{
    const QString backup = other(QStringLiteral("backup.mdb"));
    p().fileAnswers.push_back(backup);
    QVERIFY(files().Backup());
    const QStringList live = liveState();
    QVERIFY(fileBytes(backup).size() > 300000);

    // The folder fills up part-way through the copy.
    p().clear();
    {
        FileSizeLimit full(64 * 1024);
        p().fileAnswers.push_back(backup);
        p().messageAnswers.push_back(MessageResult::Ok);
        QVERIFY(!files().Backup());
    }
    QCOMPARE(p().messages().last(), QStringLiteral("Database cannot be saved. Please retry."));
    QCOMPARE(backupState(backup), live);
    QCOMPARE(hiddenFiles(m_db->folder() + QStringLiteral("/other")), QStringList());

    p().clear();
    {
        FileSizeLimit full(64 * 1024);
        p().fileAnswers.push_back(backup);
        p().messageAnswers.push_back(MessageResult::Ok);
        QVERIFY(!files().Restore());
    }
    QCOMPARE(p().messages().last(), kCannotLoad);
    QCOMPARE(liveState(), live);
    QCOMPARE(hiddenFiles(m_db->folder()), QStringList());
    // The live database was opened again and works.
    QVERIFY(m_db->ds->QStaff.isOpen());
    QCOMPARE(CardDb::names(m_db->ds->QStaff), QStringList{QStringLiteral("Live")});

    // A larger backup: its copy beside the database fails part-way, before
    // anything of the live database is touched.
    const QString large = other(QStringLiteral("large.mdb"));
    {
        Tdsrc second;
        createCardDatabase(large, CardDatabaseSeed{});
        second.src.setConnectionString(cardConnectionString(large));
        second.src.connect();
        second.QAllStaff.open();
        second.QAllStaff.append();
        second.QAllStaff.fieldByName(QStringLiteral("name")).setString(QStringLiteral("Large"));
        second.QAllStaff.fieldByName(QStringLiteral("photo")).setBytes(randomBytes(900000));
        second.QAllStaff.post();
    }
    p().clear();
    {
        FileSizeLimit full(600 * 1024);
        p().fileAnswers.push_back(large);
        p().messageAnswers.push_back(MessageResult::Ok);
        QVERIFY(!files().Restore());
    }
    QCOMPARE(p().messages().last(), kCannotLoad);
    QVERIFY(!QFileInfo::exists(files().beforeRestorePath()));
    QCOMPARE(liveState(), live);
    QCOMPARE(hiddenFiles(m_db->folder()), QStringList());
    QCOMPARE(CardDb::names(m_db->ds->QStaff), QStringList{QStringLiteral("Live")});
}

void TestDatabaseFiles::backupRefusesTheLiveDatabase()
{
    if (CardDb::onServer())
        QSKIP("a server database has no file a backup could replace");
    const QString folder = m_db->folder();
    QVERIFY(QFile::link(m_db->path(), other(QStringLiteral("symlink.mdb"))));
    QCOMPARE(::link(QFile::encodeName(m_db->path()).constData(),
                    QFile::encodeName(other(QStringLiteral("hardlink.mdb"))).constData()), 0);
    const QString ways[] = {m_db->path(), folder + QStringLiteral("/other/../cardinfo.mdb"),
                            folder + QStringLiteral("/./cardinfo.mdb"), other(QStringLiteral("symlink.mdb")),
                            other(QStringLiteral("hardlink.mdb"))};
    const QByteArray live = fileBytes(m_db->path());
    for (const QString &target : ways) {
        p().clear();
        p().fileAnswers.push_back(target);
        QVERIFY2(!files().Backup(), qPrintable(target));
        // Refused before the replace question, with nothing else asked.
        QCOMPARE(p().messages(), QStringList{QStringLiteral("The backup cannot replace the card database in use.")});
        QCOMPARE(fileBytes(m_db->path()), live);
    }
    // The database still takes writes.
    m_db->addMember(QStringLiteral("After"), 0);
    QVERIFY(!m_db->ds->src.inTransaction());
}

void TestDatabaseFiles::readLockKeepsWritersOut()
{
    if (CardDb::onServer())
        QSKIP("a server backup reads a snapshot while writers go on (tst_exchange_serverfiles)");
    Connection writer;
    writer.setConnectionString(cardConnectionString(m_db->path()));
    writer.connect();
    sqlite3_busy_timeout(writer.handle(), 50);
    const QString write = QStringLiteral("UPDATE stafftbl SET post = 'x'");
    {
        ReadLock lock(m_db->ds->src);
        QVERIFY(m_db->ds->src.inTransaction());
        const QByteArray before = fileBytes(m_db->path());
        QVERIFY_THROWS_EXCEPTION(Error, writer.exec(write));
        QCOMPARE(fileBytes(m_db->path()), before);
        // A lock taken inside a transaction joins it and leaves it open.
        { ReadLock inner(m_db->ds->src); }
        QVERIFY(m_db->ds->src.inTransaction());
    }
    QVERIFY(!m_db->ds->src.inTransaction());
    writer.exec(write);

    // A backup leaves no transaction behind either.
    p().fileAnswers.push_back(other(QStringLiteral("b.mdb")));
    QVERIFY(files().Backup());
    QVERIFY(!m_db->ds->src.inTransaction());
    writer.exec(write);
}

void TestDatabaseFiles::restoringTheKeptCopyBringsTheOldBack()
{
    if (CardDb::onServer())
        QSKIP("a server keeps no before-restore file");
    const QString backup = other(QStringLiteral("backup.mdb"));
    createCardDatabase(backup, CardDatabaseSeed{});
    {
        Tdsrc second;
        second.src.setConnectionString(cardConnectionString(backup));
        second.src.connect();
        second.QAllStaff.open();
        second.QAllStaff.append();
        second.QAllStaff.fieldByName(QStringLiteral("name")).setString(QStringLiteral("Backup"));
        second.QAllStaff.post();
    }
    const QByteArray live = fileBytes(m_db->path());
    const QString names[] = {QStringLiteral("Backup"), QStringLiteral("Live"), QStringLiteral("Backup")};
    QString source = backup;
    for (const QString &expected : names) {
        p().clear();
        p().fileAnswers.push_back(source);
        p().messageAnswers.push_back(MessageResult::Ok);
        QVERIFY(files().Restore());
        QCOMPARE(CardDb::names(m_db->ds->QStaff), QStringList{expected});
        QCOMPARE(hiddenFiles(m_db->folder()), QStringList());
        for (const char *suffix : {"-journal", "-wal", "-shm"})
            QVERIFY(!QFileInfo::exists(m_db->path() + QString::fromLatin1(suffix)));
        source = files().beforeRestorePath(); // then back and forth
    }
    // After the last swap the kept copy is the original database again.
    QCOMPARE(fileBytes(files().beforeRestorePath()), live);
}

void TestDatabaseFiles::staleTemporariesAreRemoved()
{
    const QString folder = m_db->folder();
    const QStringList stale = {QStringLiteral(".cardinfo.mdb.a1B2c3"), QStringLiteral(".cardinfo.mdb.a1B2c3-journal"),
                               QStringLiteral(".cardinfo.mdb.kept-xyz")};
    const QStringList kept = {QStringLiteral("cardinfo.mdb.before-restore"), QStringLiteral(".cardinfo.mdbx"),
                              QStringLiteral(".backup.mdb.q1w2e3")};
    for (const QString &name : stale + kept) {
        QFile f(folder + QLatin1Char('/') + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    // A link is removed itself, never what it points to.
    QVERIFY(QFile::link(m_db->path(), folder + QStringLiteral("/.cardinfo.mdb.link")));
    QCOMPARE(RemoveStaleTemporaries(folder), 4);
    for (const QString &name : stale)
        QVERIFY2(!QFileInfo::exists(folder + QLatin1Char('/') + name), qPrintable(name));
    for (const QString &name : kept)
        QVERIFY2(QFileInfo::exists(folder + QLatin1Char('/') + name), qPrintable(name));
    if (!CardDb::onServer())
        QVERIFY(CheckCardDatabase(m_db->path()).isEmpty());
    QCOMPARE(RemoveStaleTemporaries(folder), 0);
}

void TestDatabaseFiles::onlyRegularFilesAreRead()
{
    const QString fifo = other(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString small = other(QStringLiteral("small"));
    {
        QFile f(small);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("0123456789");
    }
    const struct
    {
        QString path;
        qint64 limit;
        std::optional<QByteArray> bytes;
        bool copied;
    } cases[] = {
        {small, 10, QByteArray("0123456789"), true},
        {small, 9, std::nullopt, true},                              // one byte over the limit
        {fifo, 1 << 20, std::nullopt, false},                        // would block: refused at once
        {QStringLiteral("/dev/zero"), 1 << 20, std::nullopt, false}, // endless: refused unread
        {m_db->folder(), 1 << 20, std::nullopt, false},
        {other(QStringLiteral("none")), 1 << 20, std::nullopt, false},
    };
    for (const auto &c : cases) {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ReadRegularFile(c.path, c.limit), c.bytes);
        QCOMPARE(CopyFileReplacing(c.path, other(QStringLiteral("copy"))), c.copied);
        QVERIFY(clock.elapsed() < 2000);
    }
    QCOMPARE(hiddenFiles(m_db->folder() + QStringLiteral("/other")), QStringList());
}

QTEST_GUILESS_MAIN(TestDatabaseFiles)
#include "tst_databasefiles.moc"
