#include "members/groupstore.h"

#include "data/connection.h"
#include "data/errors.h"
#include "data/query.h"

namespace tessary {

std::optional<int> GroupStore::idOf(const QString &name)
{
    if (m_groups.recordCount() > 0 && m_groups.locate(QStringLiteral("gdesc"), name))
        return m_groups.fieldByName(QStringLiteral("gid")).asInteger();
    return std::nullopt;
}

int GroupStore::create(const QString &name)
{
    m_groups.last();
    m_groups.append();
    try {
        m_groups.fieldByName(QStringLiteral("gdesc")).setString(name);
        m_groups.fieldByName(QStringLiteral("gid")).setInteger(kUngroupedId);
        m_groups.post();
    } catch (...) {
        m_groups.cancel();
        throw;
    }

    const int seq = m_groups.fieldByName(QStringLiteral("seq")).asInteger();
    try {
        if (seq > kLargestGroupId)
            throw Error(QStringLiteral("Cannot create the group \"%1\": all %2 group numbers have been used")
                            .arg(name)
                            .arg(kLargestGroupId));
        m_groups.edit();
        m_groups.fieldByName(QStringLiteral("gid")).setInteger(seq);
        m_groups.post();
    } catch (...) {
        m_groups.cancel();
        if (m_groups.locate(QStringLiteral("seq"), seq))
            m_groups.deleteRow();
        throw;
    }
    return seq;
}

bool GroupStore::remove(const QString &name, Query &members)
{
    if (m_groups.recordCount() == 0 || !m_groups.locate(QStringLiteral("gdesc"), name))
        return false;
    const int id = m_groups.fieldByName(QStringLiteral("gid")).asInteger();

    Transaction transaction(*m_groups.connection());
    try {
        if (members.isOpen()) {
            Field gid = members.fieldByName(QStringLiteral("gid"));
            members.first();
            while (!members.eof()) {
                if (gid.asInteger() == id) {
                    members.edit();
                    gid.setInteger(kUngroupedId);
                    members.post();
                }
                members.next();
            }
        }
        m_groups.deleteRow();
    } catch (...) {
        // What was written stays written, as it would row by row.
        if (members.isOpen())
            members.cancel();
        transaction.commit();
        throw;
    }
    transaction.commit();
    return true;
}

} // namespace tessary
