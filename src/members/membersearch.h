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

// Text search keeps the searched columns of every member, case folded, in
// memory, read through an index that holds them; it reads them again when
// the database changed (by this connection or another). The index and one on
// the expiry date are created on first use when missing (a database without
// them opens as before; a read-only one is searched without them).
//
// Two methods that work in the database alone are kept for comparison (see
// the search benchmark): a trigram full-text table kept in step by triggers
// (made on its first use), and a LIKE scan of the index.
class MemberSearch
{
public:
    enum class Method {
        Memory,   // the folded texts in memory
        FullText, // the trigram table for texts of 3 or more characters, else Scan
        Scan      // LIKE over the index holding the searched columns
    };

    static constexpr int Limit = 200;

    explicit MemberSearch(Connection &connection) : m_connection(connection) {}

    // Members whose name, cname, staffno or card number contains `text`,
    // without case (Unicode case folding). Empty text finds nothing. Rows
    // come sorted by name.
    FoundMembers find(const QString &text, Method method = Method::Memory, int limit = Limit);

    // Members whose expiry falls in `window` counted from `today`, soonest
    // first. None finds nothing.
    FoundMembers expiring(ExpiryWindow window, const QDate &today, int limit = Limit);

    // Creates the indexes when missing; false when they cannot be made.
    bool prepare();
    // Creates the full-text table and its triggers when missing.
    bool prepareFullText();

    // Text as a LIKE pattern that matches it anywhere, with '\' as escape.
    static QString containsPattern(const QString &text);
    // Text as one full-text phrase.
    static QString phrase(const QString &text);

private:
    // Keys of the matching members, in key order, and their count.
    struct Keys
    {
        std::vector<qint64> keys;
        int total = 0;
    };
    Keys scan(const QString &text, int limit);
    Keys fullText(const QString &text, int limit);
    Keys inMemory(const QString &text, int limit);
    void loadSnapshot();
    bool snapshotCurrent();

    Connection &m_connection;
    // The folded texts: each member's "\x1fname\x1fcname\x1fstaffno\x1fcardno",
    // one after the other in key order; starts[i] is where member i begins.
    struct Snapshot
    {
        QByteArray text;
        std::vector<int> starts;
        std::vector<qint64> keys;
        const void *handle = nullptr;
        qint64 dataVersion = -1;
        qint64 changes = -1;
    } m_snapshot;
};

} // namespace tessary
