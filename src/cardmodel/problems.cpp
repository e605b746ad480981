#include "cardmodel/problems.h"

#include <QStringList>

#include <algorithm>

namespace tessary {

void CardProblems::add(int record, const QString &element, const QString &reason)
{
    const bool known = std::any_of(m_list.begin(), m_list.end(), [&](const CardProblem &p) {
        return p.record == record && p.element == element;
    });
    if (!known)
        m_list.push_back(CardProblem{record, element, reason});
}

QString CardProblems::message(const std::function<QString(int record)> &memberName) const
{
    if (m_list.empty())
        return QString();
    std::vector<CardProblem> sorted = m_list;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const CardProblem &a, const CardProblem &b) { return a.record < b.record; });
    QStringList lines{QStringLiteral("Some cards were not printed as designed:")};
    for (const CardProblem &p : sorted) {
        const QString name = memberName ? memberName(p.record) : QString();
        lines << QStringLiteral("%1: %2").arg(name.isEmpty() ? QStringLiteral("Member %1").arg(p.record + 1) : name,
                                             p.reason);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace tessary
