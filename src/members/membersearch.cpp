#include "membersearch.h"

#include "data/connection.h"
#include "data/errors.h"

#include <QHash>
#include <QStringList>

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

namespace tessary {

namespace {

// The search structures: a trigram full-text table holding the searched
// columns of every member under the member's key, the triggers that keep it
// in step with stafftbl whoever writes (they use only the engine's own
// functions), an index holding the searched columns for scans and an index
// on the expiry date.
const char *const kSearchObjects[] = {"member_find", "member_find_ai", "member_find_ad", "member_find_au"};

const char *const kCreateFullText = R"SQL(
DROP TRIGGER IF EXISTS member_find_ai;
DROP TRIGGER IF EXISTS member_find_ad;
DROP TRIGGER IF EXISTS member_find_au;
DROP TABLE IF EXISTS member_find;
CREATE VIRTUAL TABLE member_find USING fts5(name, cname, staffno, cardno, tokenize='trigram');
INSERT INTO member_find (rowid, name, cname, staffno, cardno)
    SELECT seq, name, cname, staffno, nullif(cardno, 0) FROM stafftbl;
CREATE TRIGGER member_find_ai AFTER INSERT ON stafftbl BEGIN
    INSERT INTO member_find (rowid, name, cname, staffno, cardno)
        VALUES (new.seq, new.name, new.cname, new.staffno, nullif(new.cardno, 0));
END;
CREATE TRIGGER member_find_ad AFTER DELETE ON stafftbl BEGIN
    DELETE FROM member_find WHERE rowid = old.seq;
END;
CREATE TRIGGER member_find_au AFTER UPDATE OF seq, name, cname, staffno, cardno ON stafftbl BEGIN
    DELETE FROM member_find WHERE rowid = old.seq;
    INSERT INTO member_find (rowid, name, cname, staffno, cardno)
        VALUES (new.seq, new.name, new.cname, new.staffno, nullif(new.cardno, 0));
END;
)SQL";

const char *const kCreateIndexes = R"SQL(
CREATE INDEX IF NOT EXISTS stafftbl_find ON stafftbl (name, cname, staffno, cardno, gid);
CREATE INDEX IF NOT EXISTS stafftbl_expiry ON stafftbl (expiry);
)SQL";

// One prepared statement of the card database's engine.
class Statement
{
public:
    Statement(Connection &connection, const char *sql) : m_stmt(connection.engine().prepare(QString::fromLatin1(sql))) {}

    void bind(int index, const QString &text) { m_stmt->bind(index, text); }
    void bind(int index, qint64 value) { m_stmt->bind(index, value); }
    bool step() { return m_stmt->next(); }
    QString text(int column) const { return m_stmt->isNull(column) ? QString() : m_stmt->text(column); }
    qint64 integer(int column) const { return m_stmt->isNull(column) ? 0 : m_stmt->integer(column); }

private:
    std::unique_ptr<SqlStatement> m_stmt;
};

// The member columns every search selects, in this order.
#define MEMBER_COLUMNS "seq, gid, staffno, name, cname, cardno, expiry"

FoundMember readMember(const Statement &s)
{
    FoundMember m;
    m.seq = s.integer(0);
    m.gid = int(s.integer(1));
    m.staffno = s.text(2);
    m.name = s.text(3);
    m.cname = s.text(4);
    m.cardno = s.integer(5);
    m.expiry = s.text(6);
    return m;
}

// Names the groups of the rows; a group listed twice gives its first name.
void nameGroups(Connection &db, std::vector<FoundMember> &rows)
{
    QHash<int, QString> names;
    Statement groups(db, "select gid, gdesc from grptbl order by seq");
    while (groups.step()) {
        const int gid = int(groups.integer(0));
        if (!names.contains(gid))
            names.insert(gid, groups.text(1));
    }
    for (FoundMember &m : rows)
        m.group = names.value(m.gid);
}

// The members with the given keys (integers, so the list is built from
// numbers only).
std::vector<FoundMember> membersOf(Connection &db, const std::vector<qint64> &keys)
{
    std::vector<FoundMember> rows;
    if (keys.empty())
        return rows;
    QStringList list;
    for (const qint64 key : keys)
        list << QString::number(key);
    const QByteArray sql = "select " MEMBER_COLUMNS " from stafftbl where seq in (" + list.join(QLatin1Char(',')).toLatin1() + ')';
    Statement s(db, sql.constData());
    while (s.step())
        rows.push_back(readMember(s));
    return rows;
}

void sortByName(std::vector<FoundMember> &rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const FoundMember &a, const FoundMember &b) {
        const int byName = QString::compare(a.name, b.name, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.seq < b.seq;
    });
}

bool isAscii(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// contains_folded(haystack, folded needle): true when the haystack, case
// folded, contains the needle. SQLite's LIKE folds ASCII letters only.
void containsFolded(sqlite3_context *context, int, sqlite3_value **argv)
{
    const auto *hay = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const auto *needle = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    if (!hay || !needle) {
        sqlite3_result_int(context, 0);
        return;
    }
    const QString folded = QString::fromUtf8(hay, sqlite3_value_bytes(argv[0])).toCaseFolded();
    sqlite3_result_int(context, folded.contains(QString::fromUtf8(needle, sqlite3_value_bytes(argv[1]))) ? 1 : 0);
}

int characterCount(const QString &text)
{
    return int(text.toUcs4().size());
}

} // namespace

QString MemberSearch::containsPattern(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

QString MemberSearch::phrase(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool MemberSearch::prepare()
{
    // Looked up on every search: the database under the connection may have
    // been replaced (a restore) since the last one.
    try {
        SqlEngine &engine = m_connection.engine();
        if (engine.hasIndex(QStringLiteral("stafftbl_find")) && engine.hasIndex(QStringLiteral("stafftbl_expiry")))
            return true;
        m_connection.exec(QString::fromLatin1(kCreateIndexes));
        return true;
    } catch (const Error &) {
        return false;
    }
}

bool MemberSearch::prepareFullText()
{
    try {
        if (m_connection.isServer())
            return false; // the embedded engine's full-text tables
        Statement present(m_connection, "select count(*) from sqlite_master where name in (?1, ?2, ?3, ?4)");
        for (int i = 0; i < 4; ++i)
            present.bind(i + 1, QString::fromLatin1(kSearchObjects[i]));
        present.step();
        if (present.integer(0) == 4)
            return true;
        Transaction transaction(m_connection);
        m_connection.exec(QString::fromLatin1(kCreateFullText));
        transaction.commit();
        return true;
    } catch (const Error &) {
        return false;
    }
}

FoundMembers MemberSearch::find(const QString &text, Method method, int limit)
{
    if (text.isEmpty())
        return {};
    prepare();
    Keys keys;
    // On a server the search runs in memory whatever was asked: the other
    // methods use the embedded engine's own functions.
    if (method == Method::Memory || m_connection.isServer())
        keys = inMemory(text, limit);
    else if (method == Method::FullText && characterCount(text) >= 3 && prepareFullText())
        keys = fullText(text, limit);
    else
        keys = scan(text, limit);
    FoundMembers found;
    found.total = keys.total;
    found.rows = membersOf(m_connection, keys.keys);
    nameGroups(m_connection, found.rows);
    sortByName(found.rows);
    return found;
}

MemberSearch::Keys MemberSearch::scan(const QString &text, int limit)
{
    sqlite3 *db = m_connection.handle();
    // LIKE folds ASCII letters only; it compares other characters exactly,
    // which is right for those without case (Chinese, digits).
    const bool like = isAscii(text) || text.toCaseFolded() == text.toUpper();
    const bool digits = std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
    if (!like)
        sqlite3_create_function_v2(db, "contains_folded", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   containsFolded, nullptr, nullptr, nullptr);
    const char *sql = !like ? "select seq from stafftbl where contains_folded(name, ?1)"
                              " or contains_folded(cname, ?1) or contains_folded(staffno, ?1)"
                      : digits ? "select seq from stafftbl where name like ?1 escape '\\'"
                                 " or cname like ?1 escape '\\' or staffno like ?1 escape '\\'"
                                 " or (cardno <> 0 and cast(cardno as text) like ?1 escape '\\')"
                               : "select seq from stafftbl where name like ?1 escape '\\'"
                                 " or cname like ?1 escape '\\' or staffno like ?1 escape '\\'";
    Statement s(m_connection, sql);
    s.bind(1, like ? containsPattern(text) : text.toCaseFolded());
    Keys found;
    while (s.step())
        found.keys.push_back(s.integer(0));
    found.total = int(found.keys.size());
    std::sort(found.keys.begin(), found.keys.end());
    if (int(found.keys.size()) > limit)
        found.keys.resize(size_t(limit));
    return found;
}

MemberSearch::Keys MemberSearch::fullText(const QString &text, int limit)
{
    Keys found;
    Statement count(m_connection, "select count(*) from member_find where member_find match ?1");
    count.bind(1, phrase(text));
    count.step();
    found.total = int(count.integer(0));
    Statement rows(m_connection, "select rowid from member_find where member_find match ?1 order by rowid limit ?2");
    rows.bind(1, phrase(text));
    rows.bind(2, qint64(limit));
    while (rows.step())
        found.keys.push_back(rows.integer(0));
    return found;
}

bool MemberSearch::snapshotCurrent()
{
    if (m_connection.isServer()) {
        // Own writes and other stations' announced changes are counted.
        m_connection.readNotifications();
        const bool current = m_snapshot.handle == &m_connection.engine() &&
                             m_snapshot.changes == qint64(m_connection.changeCount());
        m_snapshot.handle = &m_connection.engine();
        m_snapshot.changes = qint64(m_connection.changeCount());
        return current;
    }
    sqlite3 *db = m_connection.handle();
    Statement version(m_connection, "pragma data_version");
    version.step();
    const bool current = m_snapshot.handle == db && m_snapshot.dataVersion == version.integer(0) &&
                         m_snapshot.changes == sqlite3_total_changes64(db);
    m_snapshot.handle = db;
    m_snapshot.dataVersion = version.integer(0);
    m_snapshot.changes = sqlite3_total_changes64(db);
    return current;
}

void MemberSearch::loadSnapshot()
{
    std::vector<std::pair<qint64, QByteArray>> members;
    Statement s(m_connection, "select seq, name, cname, staffno, cardno from stafftbl");
    const QChar separator(0x1f);
    while (s.step()) {
        QString folded = separator + s.text(1) + separator + s.text(2) + separator + s.text(3) + separator;
        if (s.integer(4) != 0)
            folded += QString::number(s.integer(4));
        members.emplace_back(s.integer(0), folded.toCaseFolded().toUtf8());
    }
    std::sort(members.begin(), members.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    Snapshot &snap = m_snapshot;
    snap.text.clear();
    snap.starts.clear();
    snap.keys.clear();
    for (const auto &[key, text] : members) {
        snap.keys.push_back(key);
        snap.starts.push_back(int(snap.text.size()));
        snap.text += text;
    }
    snap.starts.push_back(int(snap.text.size()));
}

MemberSearch::Keys MemberSearch::inMemory(const QString &text, int limit)
{
    if (!snapshotCurrent())
        loadSnapshot();
    Keys found;
    const QByteArray needle = text.toCaseFolded().toUtf8();
    if (needle.contains('\x1f'))
        return found;
    const Snapshot &snap = m_snapshot;
    const char *base = snap.text.constData();
    const size_t size = size_t(snap.text.size());
    size_t from = 0;
    size_t member = 0;
    while (from < size) {
        const void *hit = memmem(base + from, size - from, needle.constData(), size_t(needle.size()));
        if (!hit)
            break;
        const int at = int(static_cast<const char *>(hit) - base);
        // Texts are in order: move to the member holding the hit.
        while (snap.starts[member + 1] <= at)
            ++member;
        ++found.total;
        if (int(found.keys.size()) < limit)
            found.keys.push_back(snap.keys[member]);
        from = size_t(snap.starts[member + 1]);
    }
    return found;
}

FoundMembers MemberSearch::expiring(ExpiryWindow window, const QDate &today, int limit)
{
    if (window == ExpiryWindow::None)
        return {};
    prepare(); // the expiry index
    // Stored dates are "yyyy-MM-dd HH:mm:ss": a date's text sorts before
    // every moment of that day and after every moment of the days before.
    const auto day = [](const QDate &d) { return d.toString(QStringLiteral("yyyy-MM-dd")); };
    // The column has numeric affinity: a bound that reads as a number would
    // be compared as one (and every text sorts after numbers), so the lower
    // bound of "Expired" is a date, not "0000".
    QString from = QStringLiteral("0001-01-01");
    QString before = day(today);
    if (window != ExpiryWindow::Expired) {
        const int days = window == ExpiryWindow::Days30 ? 30 : window == ExpiryWindow::Days60 ? 60 : 90;
        from = day(today);
        before = day(today.addDays(days + 1));
    }
    FoundMembers found;
    Statement count(m_connection, "select count(*) from stafftbl where expiry >= ?1 and expiry < ?2");
    count.bind(1, from);
    count.bind(2, before);
    count.step();
    found.total = int(count.integer(0));
    Statement rows(m_connection, "select " MEMBER_COLUMNS " from stafftbl where expiry >= ?1 and expiry < ?2"
                       " order by expiry, name, seq limit ?3");
    rows.bind(1, from);
    rows.bind(2, before);
    rows.bind(3, qint64(limit));
    while (rows.step())
        found.rows.push_back(readMember(rows));
    nameGroups(m_connection, found.rows);
    return found;
}

} // namespace tessary
