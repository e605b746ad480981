// Group commands of the main window: new group, remove group, and moving a
// member to another group from the grid's context menu.
#include "mainwindow.h"

#include "lookups.h"

#include "data/errors.h"
#include "data/prompts.h"

#include <QComboBox>
#include <QPushButton>

using namespace tessary;

namespace {
constexpr int kLargestGroupId = 32767; // group ids are 16-bit
}

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
    groups.last();
    groups.append();
    groups.fieldByName(QStringLiteral("gdesc")).setString(text);
    groups.fieldByName(QStringLiteral("gid")).setInteger(0);
    groups.post();

    // The new group's id is its own row key. A key that no longer fits a
    // group id, or a failure to store it, removes the new row again so no
    // half-made group stays behind with the id of the DEFAULT group.
    const int seq = groups.fieldByName(QStringLiteral("seq")).asInteger();
    try {
        if (seq > kLargestGroupId)
            throw Error(QStringLiteral("Cannot create the group \"%1\": all %2 group numbers have been used")
                            .arg(text)
                            .arg(kLargestGroupId));
        groups.edit();
        groups.fieldByName(QStringLiteral("gid")).setInteger(seq);
        groups.post();
    } catch (...) {
        groups.cancel();
        if (groups.locate(QStringLiteral("seq"), seq))
            groups.deleteRow();
        throw;
    }

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
    Query &groups = m_data.QGroup;
    if (!groups.locate(QStringLiteral("gdesc"), selected))
        return;
    const int id = groups.fieldByName(QStringLiteral("gid")).asInteger();

    // The listed members are the group's members: all move to group 0.
    Query &staff = m_data.QStaff;
    staff.first();
    while (!staff.eof()) {
        if (staff.fieldByName(QStringLiteral("gid")).asInteger() == id) {
            staff.edit();
            staff.fieldByName(QStringLiteral("gid")).setInteger(0);
            staff.post();
        }
        staff.next();
    }
    groups.deleteRow();

    FillGroupList(groups, QStringLiteral("gdesc"), lstGroup);
    ShowSelectedGroup();
    ShowCurrentMember();
}

void TVaraDavuz::MoveMemberToGroup(int groupId)
{
    Query &staff = m_data.QStaff;
    if (!staff.isOpen() || staff.recordCount() == 0)
        return;
    try {
        staff.edit();
        staff.fieldByName(QStringLiteral("gid")).setInteger(groupId);
        staff.post();
        ShowSelectedGroup();
        ShowCurrentMember();
    } catch (...) {
        // A member that cannot be moved stays where it was.
        if (staff.isOpen())
            staff.cancel();
    }
}
