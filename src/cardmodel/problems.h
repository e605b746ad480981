#pragma once

// What a card run could not print as designed, for one message after the
// run: each entry names the member (by its index in the run), the element
// and the reason. Laying out and painting the same card again adds nothing.

#include <QString>

#include <functional>
#include <vector>

namespace tessary {

struct CardProblem
{
    int record = -1; // the member's index in the run
    QString element; // the element's id
    QString reason;
    bool operator==(const CardProblem &) const = default;
};

class CardProblems
{
public:
    // Adds a problem once for each member and element.
    void add(int record, const QString &element, const QString &reason);
    const std::vector<CardProblem> &list() const { return m_list; }
    bool isEmpty() const { return m_list.empty(); }
    void clear() { m_list.clear(); }
    // The message shown after the run: a heading, then one line per problem
    // ("<member>: <reason>"), the members in run order. Empty when there is
    // none.
    QString message(const std::function<QString(int record)> &memberName) const;

private:
    std::vector<CardProblem> m_list;
};

} // namespace tessary
