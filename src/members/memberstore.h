#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

#include <optional>

namespace tessary {

class ProgressSink;
class Query;
class Tdsrc;

// What the detail pane hands over when a member is saved.
struct MemberDetails
{
    QString name;
    QString cname;
    QString staffno; // 8-bit text in the system code page
    QString post;
    QString remark;
    QDate joined;
    QDate expiry;
    // The stored picture (a JPEG stream, or empty). Unless the operator
    // changed the picture, these are the bytes read from the member shown,
    // kept as they were; they are then written only into a new member, and
    // an existing member keeps its own.
    QByteArray photo;
    bool photoChanged = false;
};

// Dates are written as "d/mm/yyyy": day without a leading zero, two-digit
// month, four-digit year.
QString dayMonthYearText(const QDate &date);

// A member as this station read it: its key and its stored values then. A
// save or move through it writes only over a member that still holds those
// values, so a change made meanwhile at another station is never
// overwritten (RowChangedError). An invalid reference (`seq` < 0) names no
// member.
struct MemberRef
{
    qint64 seq = -1;
    QVariantList stored;
    bool valid() const { return seq >= 0; }
};

// The rules for members on the data module's queries: the listed members
// (`QStaff`) and all members (`QAllStaff`). No widgets.
class MemberStore
{
public:
    explicit MemberStore(Tdsrc &data) : m_data(data) {}

    // The group of the first member named exactly `name` among all members
    // (`QAllStaff` is opened for the look-up and closed again); nullopt when
    // no member has that name.
    std::optional<int> groupOfMember(const QString &name);

    // Stores the member into the listed group `groupId` (`QStaff` must list
    // it): the first listed member named like it is overwritten, otherwise a
    // new member is appended. The card number becomes 0. On failure the edit
    // is cancelled and the error passes on. Answers true when a member was
    // overwritten.
    bool store(const MemberDetails &details, int groupId);

    // The listed member that is current, as the list read it; invalid when
    // the list is empty or closed.
    MemberRef current();
    // The member with key `seq` as the list read it, or else as stored now.
    MemberRef member(qint64 seq);

    // Whether a member with key `seq` is in the card database now, read from
    // the database itself, not from what a list holds.
    bool isStored(qint64 seq);

    // Stores the member into the group `groupId`: over the member `target`
    // when it is valid (checked to hold what was read), else as a new
    // member. The card number becomes 0; the photo of an existing member is
    // written only when the operator changed it. The list shows the member
    // afterwards when it lists it. Throws RowDeletedError when the member is
    // gone, RowChangedError when it was changed meanwhile, tessary::Error on
    // other failures; nothing is written then.
    void save(const MemberRef &target, const MemberDetails &details, int groupId);

    // Deletes the member with key `seq`. A member already deleted (at
    // another station) is gone all the same: not an error.
    void remove(qint64 seq);

    // Moves the member `target` to the group `groupId`; throws as save does.
    void move(const MemberRef &target, int groupId);

    // Gives the member `target` the card number `cardNo` (0 clears it);
    // throws as save does.
    void setCardNumber(const MemberRef &target, qint32 cardNo);

    // Deletes the current listed member; false when the list is empty.
    bool deleteCurrent();

    // Deletes every listed member, from the first row, in one transaction,
    // with one progress step per row. When a deletion fails, the deletions
    // before it are committed (on a server: none is, so other stations see
    // all of it or nothing) and the error passes on. Answers the number of
    // members deleted.
    int deleteAll(ProgressSink &progress);

    // Moves the current listed member to the group `groupId`. False (and the
    // edit cancelled) when it cannot be stored or the list is empty.
    bool moveCurrent(int groupId);

private:
    Tdsrc &m_data;
};

// The outcome of the batch resize of stored photos.
enum class ResizeOutcome { Completed, Failed };

// Shrinks every stored photo larger than 480 x 640 to exactly that size.
// `staffList` (the member list) is closed during the walk and reopened at its
// first record afterwards, whatever happens; `allStaff` is opened on every
// member and closed again. The walk runs in one transaction; when a photo
// cannot be encoded or its record stored, the walk stops there, what was
// written before stays, and the answer is Failed. The progress gets the
// number of members as its range, is shown at the start and hidden before
// the answer, and steps once per member, resized or not. Other errors pass
// on after the clean-up.
ResizeOutcome ResizeAllPhotos(Query &staffList, Query &allStaff, ProgressSink &progress);

} // namespace tessary
