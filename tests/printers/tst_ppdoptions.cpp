// The options of a PPD file and the two-sided option chosen from them, on
// PPD texts written for the tests in the ways card and office printer
// drivers write them.

#include "printers/ppdoptions.h"

#include <QTest>

using namespace tessary;

namespace {

// A PPD with its page sizes and the given option groups.
QByteArray ppd(const QByteArray &groups)
{
    return "*PPD-Adobe: \"4.3\"\n"
           "*LanguageEncoding: ISOLatin1\n"
           "*% A comment: *OpenUI *Fake/Fake: PickOne\n"
           "*OpenUI *PageSize/Media Size: PickOne\n"
           "*OrderDependency: 10 AnySetup *PageSize\n"
           "*DefaultPageSize: CR80\n"
           "*PageSize CR80/CR80 Card: \"<</PageSize[153.6 241.5]/ImagingBBox null>>setpagedevice\"\n"
           "*PageSize A4/A4: \"\"\n"
           "*CloseUI: *PageSize\n"
           "*PaperDimension CR80/CR80 Card: \"153.6 241.5\"\n" +
           groups;
}

const QByteArray kStandardDuplex = "*OpenUI *Duplex/2-Sided Printing: PickOne\n"
                                   "*DefaultDuplex: None\n"
                                   "*Duplex None/Off: \"<</Duplex false>>setpagedevice\"\n"
                                   "*Duplex DuplexNoTumble/Long Edge: \"<</Duplex true/Tumble false>>setpagedevice\"\n"
                                   "*Duplex DuplexTumble/Short Edge: \"<</Duplex true/Tumble true>>setpagedevice\"\n"
                                   "*CloseUI: *Duplex\n";
const QByteArray kUtDuplex = "*OpenUI *UTDuplex/Print Sides: PickOne\n"
                             "*DefaultUTDuplex: 0Front\n"
                             "*UTDuplex 0Front/Front only: \"\n"
                             "  *% code over several lines, with a line that looks like a choice:\n"
                             "  *UTDuplex 9Fake/Fake: \"\n" // never read: inside the quoted value
                             "*End\n"
                             "*UTDuplex 1Both/Both sides: \"\"\n"
                             "*UTDuplex 2Back/Back only: \"\"\n"
                             "*CloseUI: *UTDuplex\n";
const QByteArray kDualSide = "*JCLOpenUI *DualSidePrinting/Dual \xe9tage: PickOne\n" // Latin-1 text
                             "*DefaultDualSidePrinting: 0false\n"
                             "*DualSidePrinting 0false/No: \"\"\n"
                             "*DualSidePrinting 1true/Yes: \"\"\n"
                             "*JCLCloseUI: *DualSidePrinting\n";
} // namespace

class TestPpdOptions : public QObject
{
    Q_OBJECT

private slots:
    void optionsAndChoices();
    void twoSidedOptionByDriver_data();
    void twoSidedOptionByDriver();
    void operatorsChoice();
};

void TestPpdOptions::optionsAndChoices()
{
    const std::vector<PpdOption> options = parsePpdOptions(ppd(kUtDuplex + kDualSide));
    QCOMPARE(options.size(), size_t(3));
    QVERIFY(options[0].keyword == "PageSize" && options[0].text == QStringLiteral("Media Size") &&
            options[0].defaultChoice == "CR80");
    // PaperDimension is no choice of it.
    QCOMPARE(options[0].choices, (std::vector<PpdChoice>{{"CR80", QStringLiteral("CR80 Card")}, {"A4", QStringLiteral("A4")}}));
    QCOMPARE(options[1].keyword, QByteArray("UTDuplex"));
    QCOMPARE(options[1].choices, (std::vector<PpdChoice>{{"0Front", QStringLiteral("Front only")},
                                                         {"1Both", QStringLiteral("Both sides")},
                                                         {"2Back", QStringLiteral("Back only")}}));
    QVERIFY(options[2].keyword == "DualSidePrinting" && options[2].text == QStringLiteral("Dual \u00e9tage") &&
            options[2].defaultChoice == "0false");
    QVERIFY(parsePpdOptions("not a PPD\n*").empty() && parsePpdOptions(QByteArray()).empty());
}

void TestPpdOptions::twoSidedOptionByDriver_data()
{
    QTest::addColumn<QByteArray>("groups");
    QTest::addColumn<QString>("expected");
    QTest::newRow("standard Duplex") << kStandardDuplex << QStringLiteral("Duplex=DuplexNoTumble");
    QTest::newRow("UTDuplex") << kUtDuplex << QStringLiteral("UTDuplex=1Both");
    QTest::newRow("DualSidePrinting") << kDualSide << QStringLiteral("DualSidePrinting=1true");
    QTest::newRow("standard first") << kDualSide + kUtDuplex + kStandardDuplex << QStringLiteral("Duplex=DuplexNoTumble");
    QTest::newRow("UTDuplex first") << kDualSide + kUtDuplex << QStringLiteral("UTDuplex=1Both");
    QTest::newRow("Duplex without long edge") << QByteArray(kStandardDuplex).replace("DuplexNoTumble", "Other") << QString();
    QTest::newRow("none") << QByteArray() << QString();
}

void TestPpdOptions::twoSidedOptionByDriver()
{
    QFETCH(QByteArray, groups);
    QFETCH(QString, expected);
    const TwoSidedOption option = defaultTwoSidedOption(parsePpdOptions(ppd(groups)));
    QCOMPARE(option.text(), expected);
    QCOMPARE(option.printsBothSides(), !expected.isEmpty());
    QCOMPARE(TwoSidedOption::fromText(expected), std::optional(option));
}

void TestPpdOptions::operatorsChoice()
{
    const std::vector<PpdOption> options = parsePpdOptions(ppd(kStandardDuplex + kUtDuplex));
    const TwoSidedOption standard{"Duplex", "DuplexNoTumble"};
    const TwoSidedOption tumble{"Duplex", "DuplexTumble"};
    QCOMPARE(chooseTwoSidedOption(options, std::nullopt), standard);
    QCOMPARE(chooseTwoSidedOption(options, tumble), tumble);
    QCOMPARE(chooseTwoSidedOption(options, TwoSidedOption{}), TwoSidedOption{}); // one side only
    // A choice the PPD no longer offers: the printer's own.
    QCOMPARE(chooseTwoSidedOption(options, TwoSidedOption{"Duplex", "Gone"}), standard);
    QCOMPARE(chooseTwoSidedOption(options, TwoSidedOption{"DualSidePrinting", "1true"}), standard);
    // As stored: "option=choice", empty for one side only.
    for (const QString &bad : {QStringLiteral("Duplex"), QStringLiteral("=x"), QStringLiteral("Duplex="),
                              QStringLiteral("a=b=c"), QStringLiteral("a b=c")})
        QVERIFY2(!TwoSidedOption::fromText(bad), qPrintable(bad));
}

QTEST_GUILESS_MAIN(TestPpdOptions)
#include "tst_ppdoptions.moc"
