// The export into a copy of the access-control template: what the copy
// holds, the MEMO lines, and the failures that end it.

#include "exchangefixture.h"

#include "data/errors.h"
#include "data/progresssink.h"
#include "data/prompts.h"
#include "data/schema.h"
#include "exchange/cardexport.h"

#include <QFileInfo>

#include <functional>

using namespace tessary;
using namespace tessary::testing;

namespace {

struct Member
{
    QString name;
    QVariant cardno; // null: no value
    QVariant remark = QStringLiteral("note");
};

} // namespace

class TestCardExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void cardHoldersAreExported();
    void memberWithoutValueFailsTheRow();
    void targetIsReplacedByAFreshCopy();
    void missingOrBrokenTemplate();
    void exportsTheRowsListedAtItsStart();

private:
    QString folder() const { return m_db->folder(); }
    QString target() const { return folder() + QStringLiteral("/out/access.mdb"); }
    int addMember(const Member &m, int gid = 0)
    {
        m_db->addMember(m.name, gid, m_photo);
        Query &q = m_db->ds->QAllStaff;
        q.edit();
        q.fieldByName(QStringLiteral("cardno")).setValue(m.cardno);
        q.fieldByName(QStringLiteral("cname")).setString(QStringLiteral("c ") + m.name);
        q.fieldByName(QStringLiteral("staffno")).setString(QStringLiteral("S1"));
        q.fieldByName(QStringLiteral("post")).setString(QStringLiteral("Guard"));
        q.fieldByName(QStringLiteral("datejoin")).setDateTime(QDateTime(QDate(2024, 3, 5), QTime(0, 0)));
        q.fieldByName(QStringLiteral("expiry")).setDateTime(QDateTime(QDate(2026, 7, 1), QTime(13, 45)));
        q.fieldByName(QStringLiteral("remark")).setValue(m.remark);
        q.post();
        q.close();
        return 0;
    }
    int runExport()
    {
        (**m_prompts).fileAnswers.push_back(target());
        CardExport exporter(*m_db->ds, folder(), [this](const QString &caption, int maximum) {
            m_captions << caption + QLatin1Char('/') + QString::number(maximum);
            auto sink = std::make_unique<CountingProgress>();
            sink->SetRange(maximum);
            return sink;
        });
        return exporter.run();
    }
    // The copy's rows of `table`, opened on a connection of their own.
    void openCopy(Query &q, const QString &sql)
    {
        m_copy.disconnect();
        m_copy.setConnectionString(exportConnectionString(target()));
        m_copy.connect();
        q.setSql({sql});
        q.open();
    }

    std::unique_ptr<CardDb> m_db;
    std::unique_ptr<ScopedScriptedPrompts> m_prompts;
    QStringList m_captions;
    QByteArray m_photo;
    Connection m_copy;
};

void TestCardExport::init()
{
    m_db = std::make_unique<CardDb>();
    m_prompts = std::make_unique<ScopedScriptedPrompts>();
    m_captions.clear();
    m_photo = SavePictureToBlob(QImage(20, 30, QImage::Format_BGR888));
    createExportTemplate(folder() + QStringLiteral("/namecard-b.mdb"));
    QVERIFY(QDir().mkpath(folder() + QStringLiteral("/out")));
    m_db->ds->QGroup.open();
}

void TestCardExport::cleanup()
{
    m_copy.disconnect();
    m_prompts.reset();
    m_db.reset();
}

void TestCardExport::cardHoldersAreExported()
{
    // Cards 5, 0 and none, and the one DEFAULT group.
    addMember({QStringLiteral("Ann"), 5});
    addMember({QStringLiteral("Bob"), 0});
    addMember({QStringLiteral("Cid"), QVariant()});

    QCOMPARE(runExport(), 1);
    ScriptedPrompts &p = **m_prompts;
    QCOMPARE(p.asked.front().title, QStringLiteral("Select Card Database"));
    QCOMPARE(p.asked.front().text, QStringLiteral("Card Database|*.mdb"));
    QCOMPARE(p.messages(), QStringList{QStringLiteral("Card exported = 1")});
    QCOMPARE(m_captions, (QStringList{QStringLiteral("Exporting Group Information/1"),
                                      QStringLiteral("Exporting Card Database/3")}));
    QVERIFY(!m_db->ds->exp.connected());
    QVERIFY(!m_db->ds->QAllStaff.isOpen());
    QCOMPARE(fileMode(target()), 0600);

    Query groups(&m_copy, QStringLiteral("groups"));
    openCopy(groups, QStringLiteral("select * from gid order by id"));
    QCOMPARE(groups.recordCount(), 1);
    QCOMPARE(groups.fieldByName(QStringLiteral("id")).asInteger(), 0);
    QCOMPARE(groups.fieldByName(QStringLiteral("descx")).asString(), QStringLiteral("DEFAULT"));

    Query staffs(&m_copy, QStringLiteral("staffs"));
    staffs.setSql({QStringLiteral("select * from staffs order by cardno")});
    staffs.open();
    QCOMPARE(staffs.recordCount(), 1);
    QCOMPARE(staffs.fieldByName(QStringLiteral("CARDNO")).asInteger(), 5);
    QCOMPARE(staffs.fieldByName(QStringLiteral("NAME")).asString(), QStringLiteral("Ann"));
    QCOMPARE(staffs.fieldByName(QStringLiteral("WORKGRP")).asInteger(), 0);
    QCOMPARE(staffs.fieldByName(QStringLiteral("TIMEGRP")).asInteger(), 1);
    QCOMPARE(staffs.fieldByName(QStringLiteral("ACCESSGRP")).asInteger(), 1);
    QCOMPARE(staffs.fieldByName(QStringLiteral("CNAME")).asString(), QString()); // the template's default
    QCOMPARE(staffs.fieldByName(QStringLiteral("PHOTO")).asBytes(), m_photo);
    const QString memo = QStringLiteral("c Ann\r\nS1\r\nGuard\r\n") +
                         dateTimeText(QDateTime(QDate(2024, 3, 5), QTime(0, 0))) + QStringLiteral("\r\n") +
                         dateTimeText(QDateTime(QDate(2026, 7, 1), QTime(13, 45))) + QStringLiteral("\r\nnote\r\n");
    QCOMPARE(staffs.fieldByName(QStringLiteral("MEMO")).asString(), memo);
    QVERIFY(!memo.contains(QStringLiteral("00:00"))); // midnight shows no time
    for (const char *flag : {"OFFLINE", "PICKED", "COM1", "COM8"})
        QVERIFY(!staffs.fieldByName(QString::fromLatin1(flag)).isNull() &&
                !staffs.fieldByName(QString::fromLatin1(flag)).asBoolean());
}

void TestCardExport::memberWithoutValueFailsTheRow()
{
    addMember({QStringLiteral("Ann"), 5, QString()}); // an empty remark is an empty line
    addMember({QStringLiteral("Bob"), 6, QVariant()});
    addMember({QStringLiteral("Cid"), 7});

    QCOMPARE(runExport(), 0);
    QCOMPARE((**m_prompts).messages(), QStringList{QStringLiteral("Fail to export record.")});
    QVERIFY(!m_db->ds->exp.connected());

    Query staffs(&m_copy, QStringLiteral("staffs"));
    openCopy(staffs, QStringLiteral("select * from staffs order by cardno"));
    QCOMPARE(CardDb::names(staffs, QStringLiteral("NAME")), QStringList{QStringLiteral("Ann")});
    QVERIFY(staffs.fieldByName(QStringLiteral("MEMO")).asString().endsWith(QStringLiteral("\r\n\r\n")));
}

void TestCardExport::targetIsReplacedByAFreshCopy()
{
    addMember({QStringLiteral("Ann"), 5});
    QFile old(target());
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'z'));
    old.close();
    QCOMPARE(runExport(), 1);
    QCOMPARE(runExport(), 1); // a second export starts again from the template

    Query staffs(&m_copy, QStringLiteral("staffs"));
    openCopy(staffs, QStringLiteral("select * from staffs order by cardno"));
    QCOMPARE(staffs.recordCount(), 1);

    // Cancelling the dialog does nothing.
    (**m_prompts).clear();
    (**m_prompts).fileAnswers.push_back(QString());
    CardExport exporter(*m_db->ds, folder(), [](const QString &, int) { return std::make_unique<CountingProgress>(); });
    QCOMPARE(exporter.run(), 0);
    QCOMPARE((**m_prompts).messages(), QStringList());
}

void TestCardExport::missingOrBrokenTemplate()
{
    addMember({QStringLiteral("Ann"), 5});
    const QString templ = folder() + QStringLiteral("/namecard-b.mdb");
    QVERIFY(QFile::rename(templ, templ + QStringLiteral(".away")));
    QCOMPARE(runExport(), 0);
    QCOMPARE((**m_prompts).messages(), QStringList{QStringLiteral("Cannot copy card database.")});
    QVERIFY(!QFileInfo::exists(target()));
    QVERIFY(m_captions.isEmpty());

    // A template lacking a column fails to open with the engine's message,
    // and the connection is closed again.
    QVERIFY(QFile::rename(templ + QStringLiteral(".away"), templ));
    {
        Connection edit;
        edit.setConnectionString(exportConnectionString(templ));
        edit.connect();
        edit.exec(QStringLiteral("ALTER TABLE staffs DROP COLUMN MEMO"));
    }
    (**m_prompts).clear();
    QVERIFY(!guarded([&] { runExport(); }));
    QCOMPARE((**m_prompts).messages(), QStringList{QStringLiteral("DbOut: Field 'MEMO' not found.")});
    QVERIFY(!m_db->ds->exp.connected());
}

void TestCardExport::exportsTheRowsListedAtItsStart()
{
    addMember({QStringLiteral("Ann"), 5});
    addMember({QStringLiteral("Bob"), 6});
    // Between rows an event closes the shared queries and adds a card
    // holder; the export goes on with the rows it listed and no others.
    struct Busy : CountingProgress
    {
        std::function<void()> onEvents;
        void ProcessMessages() override { onEvents(); }
    };
    int events = 0;
    auto busy = [&] {
        ++events;
        m_db->ds->QAllStaff.close();
        m_db->ds->QGroup.close();
        if (events == 2)
            addMember({QStringLiteral("Late"), 9});
    };
    (**m_prompts).fileAnswers.push_back(target());
    CardExport exporter(*m_db->ds, folder(), [&](const QString &, int maximum) {
        auto sink = std::make_unique<Busy>();
        sink->onEvents = busy;
        sink->SetRange(maximum);
        return sink;
    });
    QCOMPARE(exporter.run(), 2);
    QCOMPARE(events, 3); // one group, two members

    Query staffs(&m_copy, QStringLiteral("staffs"));
    openCopy(staffs, QStringLiteral("select * from staffs order by cardno"));
    QCOMPARE(CardDb::names(staffs, QStringLiteral("NAME")), (QStringList{QStringLiteral("Ann"), QStringLiteral("Bob")}));
}

QTEST_GUILESS_MAIN(TestCardExport)
#include "tst_cardexport.moc"
