#pragma once

// Finding members across all groups: by part of a name, second-script name,
// staff number or card number, or by the expiry date of their card. Reads
// only the columns it lists (never the photo), through the card database's
// connection.

#include <QDate>
#include <QString>

#include <vector>

namespace tessary {

class Connection;

struct FoundMember
{
    QString group; // the group's name; empty when the group has none
    QString staffno;
    QString name;
    QString cname;
    qint64 cardno = 0;
    int gid = 0;
    qint64 seq = 0; // the member's key
    QString expiry; // the stored text, "yyyy-MM-dd HH:mm:ss", or empty
};

struct FoundMembers
{
    std::vector<FoundMember> rows; // at most the limit
    int total = 0;                 // every member that matched
};

// The expiry windows: within 30, 60 or 90 days from today (today and the
// day N days ahead included), or expired before today.
enum class ExpiryWindow { None, Days30, Days60, Days90, Expired };

// Keeps the search structures it needs in the database: a trigram full-text
// table over the searched columns, kept in step by triggers, and an index on
// the expiry date. Both are created on first use when missing (a database
// without them opens as before); when they cannot be created (a read-only
// file) text search scans instead.
class MemberSearch
{
public:
    enum class Method {
        Automatic, // the full-text table for texts of 3 or more characters
        Scan       // a scan of an index holding the searched columns
    };

    static constexpr int Limit = 200;

    explicit MemberSearch(Connection &connection) : m_connection(connection) {}

    // Members whose name, cname, staffno or card number contains `text`,
    // without case (Unicode case folding). Empty text finds nothing. Rows
    // come sorted by name.
    FoundMembers find(const QString &text, Method method = Method::Automatic, int limit = Limit);

    // Members whose expiry falls in `window` counted from `today`, soonest
    // first. None finds nothing.
    FoundMembers expiring(ExpiryWindow window, const QDate &today, int limit = Limit);

    // Creates the search structures when missing; false when they cannot be
    // made (the search then scans).
    bool prepare();

    // Text as a LIKE pattern that matches it anywhere, with '\' as escape.
    static QString containsPattern(const QString &text);
    // Text as one full-text phrase.
    static QString phrase(const QString &text);

private:
    FoundMembers scan(const QString &text, int limit);
    FoundMembers fullText(const QString &text, int limit);

    Connection &m_connection;
};

} // namespace tessary
