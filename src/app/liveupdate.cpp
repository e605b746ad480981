// Live lists: when another station saves, deletes, imports or restores on
// the card database server, this window lists what is stored now. The
// group shown and the member shown stay where they still exist; what the
// operator is typing in the detail pane is never replaced.
#include "mainwindow.h"

#include "lookups.h"

#include "data/busy.h"
#include "data/errors.h"
#include "data/prompts.h"
#include "members/keyedrows.h"
#include "photoui/imagecontrol.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>

using namespace tessary;

void TVaraDavuz::connectLiveUpdates()
{
    // Notices come in bursts (an import sends one per table); they are
    // followed once, a moment after the first.
    m_remoteChange = new QTimer(this);
    m_remoteChange->setSingleShot(true);
    m_remoteChange->setInterval(20);
    connect(m_remoteChange, &QTimer::timeout, this, [this] {
        // Never inside a command that walks the list: afterwards.
        runWhenIdle([this] { guarded([this] { quietWhileServerAway([this] { followRemoteChanges(); }); }); });
    });
    connect(&m_data.src, &Connection::remoteChanged, this, [this] {
        if (!m_remoteChange->isActive())
            m_remoteChange->start();
    });
}

void TVaraDavuz::followRemoteChanges()
{
    if (!m_data.src.connected() || m_data.src.reconnecting() || !m_data.QGroup.isOpen())
        return;
    const qint64 seq = MemberStore(m_data).current().seq;
    const bool edited = paneEdited();

    // The group list, with the group shown selected again when it is still there.
    const int group = CurrentGroupId;
    m_data.QGroup.refresh();
    FillGroupList(m_data.QGroup, QStringLiteral("gdesc"), lstGroup);
    const int entry = lstGroup->findData(group);
    if (entry >= 0 || lstGroup->count() == 0)
        lstGroup->setCurrentIndex(entry);
    if (entry >= 0)
        CurrentGroupId = group;
    else
        ShowSelectedGroup(); // the group went: the first one is shown

    relistKeeping(seq);
    // The pane shows the member highlighted now: the same one, or the one
    // that took the place of a member deleted elsewhere.
    if (!edited)
        ShowCurrentMember();
    UpdateCounts();
}

void TVaraDavuz::relistKeeping(qint64 seq)
{
    Query &staff = m_data.QStaff;
    const int place = staff.isOpen() ? staff.recNo() : -1;
    listCurrentGroup();
    // A member gone meanwhile gives its place to the next one, as a delete
    // here does.
    if (!seekRow(staff, seq) && staff.isOpen() && staff.recordCount() > 0)
        staff.setRecNo(std::clamp(place, 0, staff.recordCount() - 1));
    syncGridToQuery(staff.isOpen() ? staff.recNo() : -1);
}

QStringList TVaraDavuz::paneTexts() const
{
    return {eStaffNo->text(), eName->text(), eCname->text(), ePost->text(), eRemark->text(),
            dpJoin->date().toString(Qt::ISODate), dpExpiry->date().toString(Qt::ISODate)};
}

bool TVaraDavuz::paneEdited() const
{
    return m_photoChanged || paneTexts() != m_shownTexts;
}
