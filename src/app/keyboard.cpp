// The main window's keyboard and its small comforts: the shortcuts the
// operator expects (shown in the menus and on the buttons' tooltips) and
// commands that cannot work being disabled with a tooltip that says why.

#include "mainwindow.h"

#include <QAction>
#include <QComboBox>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>

namespace {

// The tooltip a control shows while it is enabled, kept while a reason for
// being disabled replaces it.
const char *const kEnabledToolTip = "enabledToolTip";

void giveShortcut(QAction *action, const QKeySequence &keys)
{
    action->setShortcut(keys);
    action->setShortcutVisibleInContextMenu(true);
}

// A button's tooltip names the key that clicks it.
void describeKey(QPushButton *button, const QString &what, const QKeySequence &keys)
{
    button->setToolTip(QStringLiteral("%1 (%2)").arg(what, keys.toString(QKeySequence::NativeText)));
}

// Enables `widget` or disables it with `reason` as its tooltip; enabling it
// again gives back the tooltip it had.
void enableOrExplain(QWidget *widget, const QString &reason)
{
    const bool enable = reason.isEmpty();
    if (!widget->isEnabled() && enable) {
        widget->setToolTip(widget->property(kEnabledToolTip).toString());
    } else if (widget->isEnabled() && !enable) {
        widget->setProperty(kEnabledToolTip, widget->toolTip());
    }
    if (!enable)
        widget->setToolTip(reason);
    widget->setEnabled(enable);
}

// Same for a menu item. An empty tooltip is the item's own text.
void enableOrExplain(QAction *action, const QString &reason)
{
    action->setToolTip(reason);
    action->setEnabled(reason.isEmpty());
}

} // namespace

void TVaraDavuz::buildShortcuts()
{
    giveShortcut(actPrint, QKeySequence(Qt::CTRL | Qt::Key_P));
    giveShortcut(actPreview, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    giveShortcut(actExit, QKeySequence(Qt::CTRL | Qt::Key_Q));
    giveShortcut(actAbout, QKeySequence(Qt::Key_F1));
    describeKey(bPrint, QStringLiteral("Print the card of the member shown"), actPrint->shortcut());
    describeKey(bPreview, QStringLiteral("Preview the card of the member shown"), actPreview->shortcut());

    // "Save" has no menu item: the key works anywhere in the window and
    // clicks the button, so it does exactly what the button does.
    actSave = new QAction(QStringLiteral("Save"), this);
    actSave->setObjectName(QStringLiteral("actSave"));
    actSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    actSave->setShortcutContext(Qt::WindowShortcut);
    addAction(actSave);
    connect(actSave, &QAction::triggered, bSave, [this] {
        if (bSave->isEnabled())
            bSave->click();
    });
    describeKey(bSave, QStringLiteral("Save the member shown"), actSave->shortcut());

    // Delete removes the member only while the grid has the focus: in an
    // edit box the key deletes text.
    actDelete = new QAction(QStringLiteral("Delete"), dbgInfo);
    actDelete->setObjectName(QStringLiteral("actDelete"));
    actDelete->setShortcut(QKeySequence(Qt::Key_Delete));
    actDelete->setShortcutContext(Qt::WidgetShortcut);
    dbgInfo->addAction(actDelete);
    connect(actDelete, &QAction::triggered, bDelete, [this] {
        if (bDelete->isEnabled())
            bDelete->click();
    });
    describeKey(bDelete, QStringLiteral("Delete the selected member"), actDelete->shortcut());

    // Menu items show their tooltips: a disabled one says why it is.
    for (QAction *menu : menuBar()->actions())
        if (menu->menu())
            menu->menu()->setToolTipsVisible(true);
}

void TVaraDavuz::updateCommandStates()
{
    // Without a card database every command on members, groups and cards
    // would only report a database error. Restore stays: it is the way to a
    // database again, as is "Card Database". About, Exit and the photo
    // buttons need none.
    // While the server is away they wait for it (they would only fail).
    const bool away = m_data.src.reconnecting();
    const bool open = !away && m_data.src.connected() && m_data.QGroup.isOpen();
    QString reason;
    if (away)
        reason = reconnectingText();
    else if (!open)
        reason = QStringLiteral("No card database is open: %1 could not be opened.").arg(databaseWhereabouts());
    for (QAction *action : {actBackup, actImport, actLayout, actPreview, actPrint, actCheckList, actExport})
        enableOrExplain(action, reason);
    for (QPushButton *button : {bNewGrp, bRemove, bDelete, bDelAll, bPreview, bPrint, bPrintAll, bSave})
        enableOrExplain(button, reason);
    enableOrExplain(actSave, reason);
    enableOrExplain(actDelete, reason);
    lstGroup->setEnabled(open);
    lstGroup->setToolTip(reason);
    if (sbServer)
        sbServer->setVisible(away);
}
