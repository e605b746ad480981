// Member editing from the detail pane: save (new or overwrite), delete one,
// delete all listed, and sorting the list by a column title.
#include "mainwindow.h"

#include "lookups.h"
#include "staffmodel.h"

#include "data/busy.h"
#include "data/errors.h"
#include "data/prompts.h"
#include "data/scopeexit.h"
#include "data/settings.h"
#include "members/keyedrows.h"
#include "members/memberstore.h"
#include "photoui/imagecontrol.h"
#include "photo/picture.h"
#include "photoui/progress.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

using namespace tessary;

void TVaraDavuz::connectMemberEditing()
{
    // A server lost during the save: "Nothing was saved.", whichever step found it.
    connect(bSave, &QPushButton::clicked, this, [this] { guarded([this] { runSaving([this] { bSaveClick(); }); }); });
    connect(bClear, &QPushButton::clicked, this, [this] { guarded([this] { ClearDetails(); }); });
    connect(bDelete, &QPushButton::clicked, this, [this] { guarded([this] { bDeleteClick(); }); });
    connect(bDelAll, &QPushButton::clicked, this, [this] { guarded([this] { bDelAllClick(); }); });
    connect(dbgInfo->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { guarded([this, column] { dbgInfoTitleClick(column); }); });
}

void TVaraDavuz::StoreDetails()
{
    // The member the name names in the listed group is the one written
    // over; when that is the member shown, it must still hold what the pane
    // was filled with.
    Query &staff = m_data.QStaff;
    MemberStore store(m_data);
    MemberRef target;
    if (staff.recordCount() > 0 && staff.locate(QStringLiteral("name"), eName->text())) {
        target = store.current();
        if (target.seq == m_shown.seq)
            target = m_shown;
    }
    MemberDetails details;
    details.name = eName->text();
    details.cname = eCname->text();
    details.staffno = eStaffNo->text();
    details.post = ePost->text();
    details.remark = eRemark->text();
    details.joined = dpJoin->date();
    details.expiry = dpExpiry->date();
    // The stored bytes stay as they are unless the operator changed the
    // picture: an undecodable or large photo is not replaced by what the
    // pane shows, and saving loses no quality.
    // A new member without stored bytes to copy gets the picture shown.
    const bool encode = m_photoChanged || m_shownPhoto.isEmpty();
    details.photoChanged = m_photoChanged;
    details.photo = encode ? SavePictureToBlob(imgPhoto->picture()) : m_shownPhoto;
    store.save(target, details, CurrentGroupId);
}

void TVaraDavuz::showChangedElsewhere(qint64 seq, const RowChangedError &error)
{
    // The pane shows the member as it is stored now (or nothing when it is
    // gone), so the operator sees what the other station wrote.
    ShowErrorBox(error.message());
    relistKeeping(seq);
    if (seekRow(m_data.QStaff, seq))
        ShowCurrentMember();
    else
        ClearDetails();
    UpdateCounts();
}

bool TVaraDavuz::shownMemberGone(const QString &name)
{
    // The pane still names the member it was filled from: the save is meant
    // for that row, and only that row.
    const QString shownName = m_shownTexts.value(1);
    return m_shown.valid() && name.compare(shownName, Qt::CaseInsensitive) == 0 &&
           !MemberStore(m_data).isStored(m_shown.seq);
}

void TVaraDavuz::showDeletedElsewhere()
{
    // Nothing is written, and the typed values stay. The pane no longer
    // stands for a stored member: the next Save stores what it holds as a
    // new member, as for one typed into an empty pane.
    ShowErrorBox(RowDeletedError().message());
    m_shown = MemberRef();
    relistKeeping(MemberStore(m_data).current().seq);
    UpdateCounts();
}

void TVaraDavuz::bSaveClick()
{
    const QString name = eName->text();
    if (name.isEmpty()) {
        ShowErrorBox(QStringLiteral("Name field cannot be empty."));
        return;
    }
    if (shownMemberGone(name)) {
        showDeletedElsewhere();
        return;
    }

    // A member of that name anywhere decides the group the row is saved in.
    const std::optional<int> group = MemberStore(m_data).groupOfMember(name);
    const bool exists = group.has_value();
    const int target = group.value_or(CurrentGroupId);
    if (exists && !ConfirmOverwrite())
        return;

    CurrentGroupId = target;
    QString groupName;
    FindTextById(m_data.QGroup, target, QStringLiteral("gid"), groupName, QStringLiteral("gdesc"));
    SelectListItem(lstGroup, groupName);
    ShowSelectedGroup();

    bool stored = true;
    try {
        StoreDetails();
    } catch (const RowDeletedError &) {
        showDeletedElsewhere();
        return;
    } catch (const RowChangedError &changed) {
        // The member written over is the list's current one.
        showChangedElsewhere(MemberStore(m_data).current().seq, changed);
        return;
    } catch (const ServerLostError &) {
        throw; // not saved, and the pane keeps what was typed
    } catch (...) {
        ShowPostError();
        stored = false;
    }
    UpdateCounts();
    // On a failed store the pane keeps what was typed so it can be
    // corrected and saved again.
    if (stored) {
        ClearDetails();
        emit membersChanged();
    }
}

void TVaraDavuz::bDeleteClick()
{
    Query &staff = m_data.QStaff;
    if (staff.isOpen() && staff.recordCount() > 0 && ConfirmDelete()) {
        // The member highlighted when the question was answered.
        MemberStore store(m_data);
        store.remove(store.current().seq);
        ShowCurrentMember();
        emit membersChanged();
    }
    UpdateCounts();
}

void TVaraDavuz::bDelAllClick()
{
    Query &staff = m_data.QStaff;
    if (staff.isOpen() && staff.recordCount() > 0 && ConfirmDelete()) {
        // Nothing else runs until every listed member is deleted.
        BusyScope busy;
        std::unique_ptr<TPg> progress = TPg::CreateRange(this, 0, staff.recordCount());
        progress->ShowNow();
        m_deferGridSync = true;
        OnExit resync([this] {
            m_deferGridSync = false;
            syncGridToQuery(m_data.QStaff.isOpen() ? m_data.QStaff.recNo() : -1);
            emit membersChanged();
        });
        // The grid follows the deletions in one step at the end.
        QueryTableModel::BulkChange bulk(*m_model);
        try {
            MemberStore(m_data).deleteAll(*progress);
        } catch (...) {
            progress.reset();
            ShowCurrentMember();
            UpdateCounts();
            throw;
        }
        progress.reset();
        ShowCurrentMember();
    }
    UpdateCounts();
}

void TVaraDavuz::dbgInfoTitleClick(int column)
{
    Query &staff = m_data.QStaff;
    QString current;
    if (staff.isOpen() && staff.recordCount() > 0)
        current = staff.fieldByName(QStringLiteral("name")).text();
    auto *model = static_cast<QueryTableModel *>(dbgInfo->model());
    SortOrder = model->fieldName(column) + QStringLiteral(",name");
    WriteStringSetting(QStringLiteral("SortField"), SortOrder);
    ShowSelectedGroup();
    if (staff.recordCount() > 0)
        staff.locate(QStringLiteral("name"), current);
    ShowCurrentMember();
}
