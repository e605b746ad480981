#include "cardprinting.h"

#include "card/designstore.h"
#include "card/layout.h"
#include "data/errors.h"
#include "data/prompts.h"
#include "data/scopeexit.h"

#include <memory>

namespace tessary {

namespace {

QStringList joinedCardsHead(const QString &select)
{
    return {select, QStringLiteral("left join grptbl"), QStringLiteral("on stafftbl.gid=grptbl.gid")};
}

} // namespace

QString partlyUnusableDesign(const QString &problem)
{
    QString what = problem;
    if (what.endsWith(QLatin1Char('.')))
        what.chop(1);
    return QStringLiteral("Part of the stored card design cannot be used and is left out: %1.").arg(what);
}

QStringList memberCardSql(std::optional<int> seq)
{
    QStringList sql = joinedCardsHead(QStringLiteral("select * from stafftbl"));
    // The key is never null, so without one nothing is selected.
    sql << (seq ? QStringLiteral("where stafftbl.seq=") + QString::number(*seq)
                : QStringLiteral("where stafftbl.seq is null"));
    return sql;
}

QStringList groupCardsSql(int groupId)
{
    QStringList sql = joinedCardsHead(QStringLiteral("select * from stafftbl"));
    sql << QStringLiteral("where stafftbl.gid=") + QString::number(groupId);
    return sql;
}

QStringList memberKeysCardsSql(const std::vector<qint64> &keys)
{
    // Keys are integers: the list is built from numbers only.
    QStringList list;
    list.reserve(qsizetype(keys.size()));
    for (const qint64 key : keys)
        list << QString::number(key);
    QStringList sql = joinedCardsHead(QStringLiteral("select * from stafftbl"));
    sql << QStringLiteral("where stafftbl.seq in (") + list.join(QLatin1Char(',')) + QLatin1Char(')');
    if (!keys.empty()) {
        // In the order given.
        QStringList order;
        for (size_t i = 0; i < keys.size(); ++i)
            order << QStringLiteral("when %1 then %2").arg(keys[i]).arg(i);
        sql << QStringLiteral("order by case stafftbl.seq ") + order.join(QLatin1Char(' ')) + QStringLiteral(" end");
    }
    return sql;
}

QStringList previewSampleSql(int storedPaper)
{
    return previewSampleSql(paperFromStored(storedPaper));
}

QStringList previewSampleSql(CardPaper paper)
{
    return joinedCardsHead(paper == CardPaper::A4 ? QStringLiteral("select top 10 * from stafftbl")
                                                  : QStringLiteral("select top 2 * from stafftbl"));
}

void runLayoutCards(Tdsrc &data, const LayoutSettings &settings, int storedPaper, CardMode mode, CardOutput &output)
{
    QString warning;
    CardPaper paper = paperFromStored(storedPaper);
    try {
        paper = storedCardPaper(data.src, storedPaper, &warning);
    } catch (const Error &e) {
        warning = QStringLiteral("The stored card design cannot be read: %1 The stored layout is printed.").arg(e.message());
    }
    // Said once: a document that cannot be read at all is the paper's warning.
    if (warning.isEmpty() && !settings.documentProblem.isEmpty())
        warning = partlyUnusableDesign(settings.documentProblem);
    if (!warning.isEmpty())
        ShowErrorBox(warning);
    const CardDesign design = layoutDesign(settings, paper);
    const Stock stock = layoutStock(settings.style, paper, mode, settings.offsetX, settings.offsetY);
    const Stock printStock = layoutStock(settings.style, paper, CardMode::Print, settings.offsetX, settings.offsetY);
    runCards(design, stock, std::make_shared<QueryRecords>(data.QList), mode, output, printStock);
}

void CardPrinting::selectCurrentMember()
{
    std::optional<int> seq;
    if (m_data.QStaff.isOpen() && !m_data.QStaff.isEmpty())
        seq = m_data.QStaff.fieldByName(QStringLiteral("seq")).asInteger();
    m_data.QList.setSql(memberCardSql(seq));
    m_data.QList.open();
}

void CardPrinting::storedRun(CardMode mode)
{
    Query param(&m_data.src, QStringLiteral("param"));
    Query fields(&m_data.src, QStringLiteral("fields"));
    param.setSql(layoutParamSql());
    param.setDeclaredColumns(layoutParamColumns());
    fields.setSql(layoutFieldsSql());
    fields.setDeclaredColumns(layoutFieldsColumns());
    // A loading error is reported and the run goes on with what loaded.
    LayoutSettings settings;
    guarded([&] { loadLayoutSettings(param, fields, settings); });
    int storedPaper = 0;
    guarded([&] {
        if (param.isOpen() && !param.isEmpty())
            storedPaper = param.fieldByName(QStringLiteral("psize")).asInteger();
    });
    runLayoutCards(m_data, settings, storedPaper, mode, m_output);
}

void CardPrinting::Preview()
{
    const OnExit closeList([this] { m_data.QList.close(); });
    selectCurrentMember();
    storedRun(CardMode::Preview);
}

void CardPrinting::Print()
{
    const OnExit closeList([this] { m_data.QList.close(); });
    selectCurrentMember();
    storedRun(CardMode::Print);
}

void CardPrinting::PrintAll(int groupId)
{
    if (!ConfirmYesNo(QStringLiteral("Are you sure to print all cards now?")))
        return;
    m_data.QList.setSql(groupCardsSql(groupId));
    m_data.QList.open();
    storedRun(CardMode::Print);
}

void CardPrinting::PrintMembers(const std::vector<qint64> &keys)
{
    if (keys.empty())
        return;
    m_data.QList.setSql(memberKeysCardsSql(keys));
    m_data.QList.open();
    storedRun(CardMode::Print);
}

void CardPrinting::PreviewSample(TFmLayout &dialog)
{
    const OnExit closeList([this] { m_data.QList.close(); });
    const int storedPaper = dialog.ReadStoredInteger(QStringLiteral("psize"));
    m_data.QList.setSql(previewSampleSql(storedCardPaper(m_data.src, storedPaper)));
    m_data.QList.open();
    dialog.CardRun(CardMode::Preview, m_output);
}

} // namespace tessary
