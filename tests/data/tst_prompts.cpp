// The fixed prompts, the general error report and its guard, and the
// scripted prompt service the other tests rely on.

#include "data/errors.h"
#include "data/prompts.h"

#include <QTest>

#include <stdexcept>

using namespace tessary;

class TestPrompts : public QObject
{
    Q_OBJECT

private slots:
    void fixedPrompts();
    void confirmationsAnswerOkOnly();
    void fullStopRule_data();
    void fullStopRule();
    void guardedReportsEveryError();
    void scriptedServiceIsScopedAndStrict();
};

void TestPrompts::fixedPrompts()
{
    ScopedScriptedPrompts p;
    ShowPostError();
    ShowCreateError();
    ShowSettingsSaved();
    QCOMPARE(p->asked.size(), size_t(3));

    const struct {
        MessageKind kind;
        const char *title;
        const char *text;
    } expected[] = {
        {MessageKind::Error, "Error", "Unable to post the data."},
        {MessageKind::Error, "Error", "Unable to create the new object."},
        {MessageKind::Information, "Information", "Settings are saved."},
    };
    for (size_t i = 0; i < 3; ++i) {
        QCOMPARE(p->asked[i].kind, expected[i].kind);
        QCOMPARE(p->asked[i].title, QString::fromLatin1(expected[i].title));
        QCOMPARE(p->asked[i].text, QString::fromLatin1(expected[i].text));
        QVERIFY(!p->asked[i].withCancel);
    }
}

void TestPrompts::confirmationsAnswerOkOnly()
{
    ScopedScriptedPrompts p;
    p->messageAnswers = {MessageResult::Ok, MessageResult::Cancel, MessageResult::Cancel, MessageResult::Ok};
    QVERIFY(ConfirmDelete());
    QVERIFY(!ConfirmDelete());
    QVERIFY(!ConfirmOverwrite());
    QVERIFY(ConfirmOverwrite());
    QCOMPARE(p->messages(), (QStringList{QStringLiteral("Delete the record?"), QStringLiteral("Delete the record?"), QStringLiteral("Overwrite the record?"),
                                         QStringLiteral("Overwrite the record?")}));
    for (const auto &a : p->asked) {
        QCOMPARE(a.kind, MessageKind::Confirmation);
        QCOMPARE(a.title, QStringLiteral("Confirm"));
        QVERIFY(a.withCancel);
    }
}

void TestPrompts::fullStopRule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << "Abc" << "Abc.";
    QTest::newRow("digit") << "Error 42" << "Error 42.";
    QTest::newRow("quote mark") << "Field 'name'" << "Field 'name'";
    QTest::newRow("closing bracket") << "Failed (3)" << "Failed (3)";
    QTest::newRow("exclamation") << "Abc!" << "Abc!";
    QTest::newRow("full stop") << "Abc." << "Abc.";
    QTest::newRow("slash") << "a/b/" << "a/b/.";
    QTest::newRow("colon") << "Reason:" << "Reason:.";
    QTest::newRow("question") << "Why?" << "Why?.";
    QTest::newRow("non-Latin") << QString::fromUtf8("資料") << QString::fromUtf8("資料.");
    QTest::newRow("empty") << "" << "";
}

void TestPrompts::fullStopRule()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(errorReportText(text), shown);

    ScopedScriptedPrompts p;
    ShowErrorReport(text);
    QCOMPARE(p->asked.size(), size_t(1));
    QCOMPARE(p->asked[0].title, QStringLiteral("Tessary"));
    QCOMPARE(p->asked[0].kind, MessageKind::Error);
    QCOMPARE(p->asked[0].text, shown);
    QVERIFY(!p->asked[0].withCancel);
}

void TestPrompts::guardedReportsEveryError()
{
    ScopedScriptedPrompts p;
    int ran = 0;
    QVERIFY(guarded([&] { ++ran; }));
    QCOMPARE(ran, 1);
    QVERIFY(p->asked.empty());

    QVERIFY(!guarded([] { throw Error(QStringLiteral("no such table: grptbl")); }));
    QVERIFY(!guarded([] { throw std::runtime_error("disk full"); }));
    QVERIFY(!guarded([] { throw 7; }));
    QVERIFY(!guarded([] { throw Error(QStringLiteral("Stop!")); }));
    const QStringList shown = p->messages();
    QCOMPARE(shown.size(), 4);
    QCOMPARE(shown[0], QStringLiteral("no such table: grptbl."));
    QCOMPARE(shown[1], QStringLiteral("disk full."));
    QVERIFY(!shown[2].isEmpty());
    QCOMPARE(shown[3], QStringLiteral("Stop!"));
    for (const auto &a : p->asked)
        QCOMPARE(a.title, QStringLiteral("Tessary"));

    // The step after the failing one does not run.
    bool after = false;
    guarded([&] {
        throw Error(QStringLiteral("first"));
        after = true;
    });
    QVERIFY(!after);
}

void TestPrompts::scriptedServiceIsScopedAndStrict()
{
    // Without a service installed, questions are refused and nothing blocks.
    QVERIFY(!ConfirmDelete());
    {
        ScopedScriptedPrompts p;
        // A question nobody scripted an answer for fails loudly, naming it
        // (fatal by default; a handler here collects the texts).
        QStringList unscripted;
        p->onUnscripted = [&](const QString &text) { unscripted << text; };
        QVERIFY_THROWS_EXCEPTION(std::logic_error, ConfirmDelete());
        QVERIFY_THROWS_EXCEPTION(std::logic_error, prompts().inputText(QStringLiteral("Group"), QString(), 10));
        QVERIFY_THROWS_EXCEPTION(std::logic_error, prompts().openFileName(QStringLiteral("Open"), QString(), QString()));
        QCOMPARE(unscripted, (QStringList{QStringLiteral("ScriptedPrompts: no answer scripted for the question: Delete the record?"),
                                          QStringLiteral("ScriptedPrompts: no answer scripted for the input dialog: Group"),
                                          QStringLiteral("ScriptedPrompts: no answer scripted for the open dialog: Open")}));
        p->onUnscripted = nullptr;
        p->inputAnswers = {QStringLiteral("Office"), std::nullopt};
        QCOMPARE(prompts().inputText(QStringLiteral("New Group"), QStringLiteral("Name"), 50),
                 std::optional<QString>(QStringLiteral("Office")));
        QCOMPARE(prompts().inputText(QStringLiteral("New Group"), QStringLiteral("Name"), 50), std::nullopt);
        prompts().beep();
        QCOMPARE(p->beeps, 1);
        {
            ScopedScriptedPrompts inner;
            ShowPostError();
            QCOMPARE(inner->messages(), QStringList{QStringLiteral("Unable to post the data.")});
        }
        p->clear();
        ShowCreateError();
        QCOMPARE(p->messages(), QStringList{QStringLiteral("Unable to create the new object.")});
    }
    QVERIFY(!ConfirmOverwrite());
}

QTEST_GUILESS_MAIN(TestPrompts)
#include "tst_prompts.moc"
