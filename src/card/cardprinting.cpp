#include "cardprinting.h"

#include "card/layout.h"
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
    return joinedCardsHead(storedPaper == 0 ? QStringLiteral("select top 2 * from stafftbl")
                                            : QStringLiteral("select top 10 * from stafftbl"));
}

void CardPrinting::selectCurrentMember()
{
    std::optional<int> seq;
    if (m_data.QStaff.isOpen() && !m_data.QStaff.isEmpty())
        seq = m_data.QStaff.fieldByName(QStringLiteral("seq")).asInteger();
    m_data.QList.setSql(memberCardSql(seq));
    m_data.QList.open();
}

void CardPrinting::hiddenRun(CardMode mode)
{
    // The object lives only for this run; its loading errors are reported
    // as it is created and the run goes on with what loaded.
    const auto layout = std::make_unique<TFmLayout>(m_data);
    layout->CardRun(mode, m_output);
}

void CardPrinting::Preview()
{
    const OnExit closeList([this] { m_data.QList.close(); });
    selectCurrentMember();
    hiddenRun(CardMode::Preview);
}

void CardPrinting::Print()
{
    const OnExit closeList([this] { m_data.QList.close(); });
    selectCurrentMember();
    hiddenRun(CardMode::Print);
}

void CardPrinting::PrintAll(int groupId)
{
    if (!ConfirmYesNo(QStringLiteral("Are you sure to print all cards now?")))
        return;
    m_data.QList.setSql(groupCardsSql(groupId));
    m_data.QList.open();
    hiddenRun(CardMode::Print);
}

void CardPrinting::PrintMembers(const std::vector<qint64> &keys)
{
    if (keys.empty())
        return;
    m_data.QList.setSql(memberKeysCardsSql(keys));
    m_data.QList.open();
    hiddenRun(CardMode::Print);
}

void CardPrinting::PreviewSample(TFmLayout &dialog)
{
    const OnExit closeList([this] { m_data.QList.close(); });
    m_data.QList.setSql(previewSampleSql(dialog.ReadStoredInteger(QStringLiteral("psize"))));
    m_data.QList.open();
    dialog.CardRun(CardMode::Preview, m_output);
}

} // namespace tessary
