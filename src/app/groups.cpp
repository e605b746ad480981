// Group commands of the main window: new group, remove group, and moving a
// member to another group from the grid's context menu.
#include "mainwindow.h"

#include "lookups.h"

#include "data/busy.h"
#include "data/errors.h"
#include "data/prompts.h"
#include "members/groupstore.h"
#include "members/memberstore.h"

#include <QComboBox>
#include <QPushButton>

using namespace tessary;

void TVaraDavuz::connectGroupCommands()
{
    connect(bNewGrp, &QPushButton::clicked, this, [this] { guarded([this] { bNewGrpClick(); }); });
    connect(bRemove, &QPushButton::clicked, this, [this] { guarded([this] { bRemoveClick(); }); });
}

void TVaraDavuz::bNewGrpClick()
{
    const std::optional<QString> answer =
        prompts().inputText(QStringLiteral("Create new group"), QStringLiteral("New group name"), 255);
    if (!answer || answer->isEmpty())
        return;
    const QString text = *answer;

    // An existing group of exactly that name is selected instead.
    if (SelectListItem(lstGroup, text)) {
        ShowSelectedGroup();
        ShowCurrentMember();
        return;
    }

    Query &groups = m_data.QGroup;
    GroupStore(groups).create(text);

    FillGroupList(groups, QStringLiteral("gdesc"), lstGroup);
    SelectListItem(lstGroup, text);
    ShowSelectedGroup();
    ShowCurrentMember();
}

void TVaraDavuz::bRemoveClick()
{
    if (lstGroup->count() == 0)
        return;
    const QString selected = lstGroup->currentText();
    if (selected == QLatin1String("DEFAULT")) {
        ShowErrorBox(QStringLiteral("Cannot delete DEFAULT group."));
        return;
    }
    if (!ConfirmDelete())
        return;
    BusyScope busy;
    Query &groups = m_data.QGroup;
    // The listed members are the group's members: all move to group 0.
    if (!GroupStore(groups).remove(selected, m_data.QStaff))
        return;

    FillGroupList(groups, QStringLiteral("gdesc"), lstGroup);
    ShowSelectedGroup();
    ShowCurrentMember();
}

void TVaraDavuz::MoveMemberToGroup(int groupId)
{
    // A member that cannot be moved stays where it was.
    MemberStore store(m_data);
    const MemberRef member = store.current();
    if (!member.valid())
        return;
    try {
        store.move(member.seq == m_shown.seq ? m_shown : member, groupId);
    } catch (const RowChangedError &changed) {
        showChangedElsewhere(member.seq, changed);
        return;
    } catch (const Error &) {
        return;
    }
    ShowSelectedGroup();
    ShowCurrentMember();
    emit membersChanged();
}
