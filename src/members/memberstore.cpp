#include "members/memberstore.h"

#include <algorithm>
#include <functional>

#include "data/connection.h"
#include "data/datasrc.h"
#include "data/errors.h"
#include "data/progresssink.h"
#include "data/query.h"
#include "data/scopeexit.h"
#include "members/keyedrows.h"
#include "photo/picture.h"
#include "photo/transforms.h"

namespace tessary {

QString dayMonthYearText(const QDate &date)
{
    return QStringLiteral("%1/%2/%3")
        .arg(date.day())
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

std::optional<int> MemberStore::groupOfMember(const QString &name)
{
    Query &all = m_data.QAllStaff;
    if (!all.isOpen())
        all.open();
    std::optional<int> group;
    if (all.recordCount() > 0 && all.locate(QStringLiteral("name"), name))
        group = all.fieldByName(QStringLiteral("gid")).asInteger();
    all.close();
    return group;
}

bool MemberStore::store(const MemberDetails &details, int groupId)
{
    Query &staff = m_data.QStaff;
    const bool found = staff.recordCount() > 0 && staff.locate(QStringLiteral("name"), details.name);
    save(found ? current() : MemberRef(), details, groupId);
    return found;
}

namespace {

// Writes the member's details into the row in edit of `row`.
void writeDetails(Query &row, const MemberDetails &details, int groupId, bool isNew)
{
    row.fieldByName(QStringLiteral("gid")).setInteger(groupId);
    row.fieldByName(QStringLiteral("cardno")).setInteger(0);
    row.fieldByName(QStringLiteral("name")).setString(details.name);
    row.fieldByName(QStringLiteral("cname")).setString(details.cname);
    row.fieldByName(QStringLiteral("staffno")).setString(QString::fromLocal8Bit(details.staffno.toLocal8Bit()));
    row.fieldByName(QStringLiteral("post")).setString(details.post);
    row.fieldByName(QStringLiteral("remark")).setString(details.remark);
    row.fieldByName(QStringLiteral("datejoin")).setString(dayMonthYearText(details.joined));
    row.fieldByName(QStringLiteral("expiry")).setString(dayMonthYearText(details.expiry));
    // An existing member's photo is written only when the operator changed
    // the picture: its stored bytes stay as they are.
    if (isNew || details.photoChanged)
        row.fieldByName(QStringLiteral("photo")).setBytes(details.photo);
}

// Whether the member with key `seq` is in the database now: read through a
// query of its own, never from what `list` holds.
bool memberStored(Query &list, qint64 seq)
{
    if (seq < 0)
        return false;
    Query own(list.connection(), QStringLiteral("storedMember"));
    own.setSql({QStringLiteral("select seq from stafftbl"), QStringLiteral("where seq=") + QString::number(seq)});
    own.open();
    return !own.isEmpty();
}

// Edits the member `target` through `edit` and posts it, checked against
// what was read. Throws RowDeletedError when the member is gone,
// RowChangedError when it holds other values now.
void editMember(Query &list, const MemberRef &target, const std::function<void(Query &)> &edit)
{
    bool found = false;
    try {
        found = withRow(list, QStringLiteral("stafftbl"), target.seq, [&](Query &row) {
            row.edit();
            try {
                row.expectStored(target.stored);
                edit(row);
                row.post();
            } catch (...) {
                if (row.isOpen())
                    row.cancel();
                throw;
            }
        });
    } catch (const RowDeletedError &) {
        throw;
    } catch (const RowChangedError &) {
        // A list read before the deletion still holds the row: the database
        // tells whether it is gone or only changed.
        if (!memberStored(list, target.seq))
            throw RowDeletedError();
        throw;
    }
    if (!found)
        throw RowDeletedError();
}

} // namespace

MemberRef MemberStore::current()
{
    Query &staff = m_data.QStaff;
    if (!staff.isOpen() || staff.recordCount() == 0 || staff.recNo() < 0 || staff.recNo() >= staff.recordCount())
        return {};
    return MemberRef{staff.rowId(staff.recNo()), staff.storedValues(staff.recNo())};
}

MemberRef MemberStore::member(qint64 seq)
{
    MemberRef ref;
    withRow(m_data.QStaff, QStringLiteral("stafftbl"), seq, [&](Query &row) {
        ref = MemberRef{seq, row.storedValues(row.recNo())};
    });
    return ref;
}

bool MemberStore::isStored(qint64 seq)
{
    return memberStored(m_data.QStaff, seq);
}

void MemberStore::save(const MemberRef &target, const MemberDetails &details, int groupId)
{
    if (target.valid()) {
        editMember(m_data.QStaff, target, [&](Query &row) { writeDetails(row, details, groupId, false); });
        return;
    }
    Query &staff = m_data.QStaff;
    staff.append();
    try {
        writeDetails(staff, details, groupId, true);
        staff.post();
    } catch (...) {
        staff.cancel();
        throw;
    }
}

void MemberStore::remove(qint64 seq)
{
    withRow(m_data.QStaff, QStringLiteral("stafftbl"), seq, [](Query &row) { row.deleteRow(); });
}

void MemberStore::move(const MemberRef &target, int groupId)
{
    editMember(m_data.QStaff, target,
               [groupId](Query &row) { row.fieldByName(QStringLiteral("gid")).setInteger(groupId); });
}

void MemberStore::setCardNumber(const MemberRef &target, qint32 cardNo)
{
    editMember(m_data.QStaff, target,
               [cardNo](Query &row) { row.fieldByName(QStringLiteral("cardno")).setInteger(cardNo); });
}

bool MemberStore::deleteCurrent()
{
    const MemberRef member = current();
    if (!member.valid())
        return false;
    remove(member.seq);
    return true;
}

namespace {

// How many of `keys` from `next` on are the rows of `list` from its current
// row on, in order (at most a few hundred, so one statement stays short).
int listedRun(Query &list, const std::vector<qint64> &keys, size_t next)
{
    constexpr int kLargestRun = 500;
    if (!list.isOpen() || list.state() != Query::State::Browse)
        return 0;
    const int at = list.recNo();
    int run = 0;
    while (run < kLargestRun && next + size_t(run) < keys.size() && at >= 0 && at + run < list.recordCount() &&
           list.rowId(at + run) == keys[next + size_t(run)])
        ++run;
    return run;
}

} // namespace

int MemberStore::deleteAll(ProgressSink &progress)
{
    Query &staff = m_data.QStaff;
    // The rows listed now are the ones deleted, whatever the list shows
    // later on.
    const std::vector<qint64> keys = rowKeys(staff);
    const bool server = staff.connection()->isServer();
    Transaction transaction(*staff.connection());
    int deleted = 0;
    try {
        staff.first();
        size_t next = 0;
        while (next < keys.size()) {
            // A run of listed rows still in the list from its current row on
            // goes in one statement, at the speed of the engine's own
            // delete; when that fails the run is deleted row by row, so the
            // rows before the failing one are kept deleted.
            const int run = listedRun(staff, keys, next);
            if (run > 1) {
                try {
                    staff.deleteRows(run);
                    deleted += run;
                    for (int i = 0; i < run; ++i)
                        progress.StepIt();
                    next += size_t(run);
                    continue;
                } catch (const Error &) {
                    // On a server a failed statement ends the transaction:
                    // nothing of the deletion stays.
                    if (server)
                        throw;
                }
            }
            const size_t end = next + size_t(std::max(run, 1));
            for (; next < end; ++next) {
                if (withRow(staff, QStringLiteral("stafftbl"), keys[next], [](Query &row) { row.deleteRow(); }))
                    ++deleted;
                progress.StepIt();
            }
        }
    } catch (...) {
        // Another station sees all of a deletion on a server or none of it;
        // the file keeps the rows deleted before the failing one.
        if (!server)
            transaction.commit();
        throw;
    }
    transaction.commit();
    return deleted;
}

bool MemberStore::moveCurrent(int groupId)
{
    const MemberRef member = current();
    if (!member.valid())
        return false;
    try {
        move(member, groupId);
    } catch (const Error &) {
        return false;
    }
    return true;
}

namespace {

// Shrinks the photo of the current row of `row` when it is too large. False
// when it could not be stored (the edit is then cancelled).
bool resizeStoredPhoto(Query &row)
{
    Field photo = row.fieldByName(QStringLiteral("photo"));
    // Decoding and the size rule; nullopt means the photo is small enough
    // and is neither changed nor re-encoded.
    std::optional<QImage> resized = ResizedForStorage(LoadPictureFromBlob(photo.asBytes()));
    if (!resized)
        return true;
    row.edit();
    // A row that cannot be stored leaves the walk's transaction usable, so
    // the rows before it stay resized.
    Savepoint step(*row.connection());
    try {
        photo.setBytes(SavePictureToBlob(*resized));
        row.post();
        step.release();
    } catch (const Error &) {
        row.cancel();
        return false;
    }
    return true;
}

} // namespace

ResizeOutcome ResizeAllPhotos(Query &staffList, Query &allStaff, ProgressSink &progress)
{
    staffList.close();
    // Runs whatever way the walk ends, and never throws: the all-members
    // query is closed (abandoning a record whose save failed) and the member
    // list is reopened at its first record. On the normal way out the
    // reopening is done below, where a failure is reported.
    bool reopened = false;
    OnExit cleanUp([&] {
        if (allStaff.isOpen()) {
            allStaff.cancel();
            allStaff.close();
        }
        if (!reopened)
            staffList.open();
    });
    auto finish = [&](ResizeOutcome outcome) {
        progress.Hide();
        if (allStaff.isOpen())
            allStaff.close();
        reopened = true;
        staffList.open();
        return outcome;
    };

    allStaff.setSql(allMembersSql());
    allStaff.open();
    progress.SetRange(allStaff.recordCount());
    // The members present now are the ones walked.
    const std::vector<qint64> keys = rowKeys(allStaff);
    allStaff.first();
    progress.Show();

    Transaction transaction(*allStaff.connection());
    for (const qint64 key : keys) {
        bool stored = true;
        withRow(allStaff, QStringLiteral("stafftbl"), key, [&](Query &row) { stored = resizeStoredPhoto(row); });
        if (!stored) {
            transaction.commit();
            return finish(ResizeOutcome::Failed);
        }
        progress.StepIt();
    }
    transaction.commit();
    return finish(ResizeOutcome::Completed);
}

} // namespace tessary
