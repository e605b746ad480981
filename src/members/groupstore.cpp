#include "members/groupstore.h"

#include "data/connection.h"
#include "data/errors.h"
#include "data/query.h"
#include "members/keyedrows.h"

namespace tessary {

std::optional<int> GroupStore::idOf(const QString &name)
{
    if (m_groups.recordCount() > 0 && m_groups.locate(QStringLiteral("gdesc"), name))
        return m_groups.fieldByName(QStringLiteral("gid")).asInteger();
    return std::nullopt;
}

int GroupStore::create(const QString &name)
{
    // Another station may take the same group id between the check and the
    // commit; the server's unique index then refuses this one, which is
    // made again under a new key.
    constexpr int kAttempts = 5;
    for (int attempt = 1;; ++attempt) {
        try {
            return createOnce(name);
        } catch (const UniqueKeyError &) {
            if (attempt == kAttempts)
                throw;
        }
    }
}

int GroupStore::createOnce(const QString &name)
{
    // One transaction: a group is never left with the id of the DEFAULT
    // group between its two stores. A failure rolls both back, which also
    // reads the group query again without the new row.
    Transaction transaction(*m_groups.connection());
    m_groups.last();
    m_groups.append();
    int gid = 0;
    try {
        m_groups.fieldByName(QStringLiteral("gdesc")).setString(name);
        m_groups.fieldByName(QStringLiteral("gid")).setInteger(kUngroupedId);
        m_groups.post();
        const int seq = m_groups.fieldByName(QStringLiteral("seq")).asInteger();
        gid = freeGroupId(seq);
        if (gid > kLargestGroupId)
            throw Error(QStringLiteral("Cannot create the group \"%1\": all %2 group numbers have been used")
                            .arg(name)
                            .arg(kLargestGroupId));
        m_groups.edit();
        m_groups.fieldByName(QStringLiteral("gid")).setInteger(gid);
        m_groups.post();
    } catch (...) {
        if (m_groups.isOpen() && m_groups.state() != Query::State::Browse)
            m_groups.cancel();
        throw;
    }
    transaction.commit();
    return gid;
}

int GroupStore::freeGroupId(int seq)
{
    // A group's id is its own key, unless another group holds that id
    // already (one restored or imported from elsewhere): two groups never
    // share an id, so the next free one above is taken.
    auto ids = openQuery(*m_groups.connection(), QStringLiteral("groupIds"),
                         {QStringLiteral("select gid from grptbl where gid >= ") + QString::number(seq),
                          QStringLiteral("order by gid")},
                         {});
    int gid = seq;
    for (ids->first(); !ids->eof(); ids->next()) {
        const int taken = ids->fieldByName(QStringLiteral("gid")).asInteger();
        if (taken == gid)
            ++gid;
        else if (taken > gid)
            break;
    }
    return gid;
}

bool GroupStore::remove(const QString &name, Query &members)
{
    if (m_groups.recordCount() == 0 || !m_groups.locate(QStringLiteral("gdesc"), name))
        return false;
    const int id = m_groups.fieldByName(QStringLiteral("gid")).asInteger();
    const qint64 groupKey = m_groups.rowId(m_groups.recNo());

    // The members of the group listed now are the ones moved.
    std::vector<qint64> moved;
    if (members.isOpen()) {
        const int gidColumn = members.columnIndex(QStringLiteral("gid"));
        const std::vector<qint64> keys = rowKeys(members);
        for (int row = 0; row < int(keys.size()); ++row)
            if (members.valueAt(row, gidColumn).toInt() == id)
                moved.push_back(keys[size_t(row)]);
        if (!moved.empty())
            members.first();
    }

    Transaction transaction(*m_groups.connection());
    Query *editing = nullptr;
    try {
        for (const qint64 key : moved) {
            withRow(members, QStringLiteral("stafftbl"), key, [&](Query &row) {
                editing = &row;
                row.edit();
                row.fieldByName(QStringLiteral("gid")).setInteger(kUngroupedId);
                row.post();
                editing = nullptr;
            });
        }
        withRow(m_groups, QStringLiteral("grptbl"), groupKey, [](Query &row) { row.deleteRow(); });
    } catch (...) {
        // What was written stays written, as it would row by row.
        if (editing == &members && members.isOpen())
            members.cancel();
        transaction.commit();
        throw;
    }
    transaction.commit();
    return true;
}

} // namespace tessary
