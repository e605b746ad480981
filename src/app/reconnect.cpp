// The window while the card database server is away (restarted, out of
// reach): the status bar says so and the data commands wait, disabled with
// that reason; nothing is asked of the operator. Once a new connection is
// open the lists are read again, once, keeping the group and the member
// shown and what is typed in the pane: changes made meanwhile show.
#include "mainwindow.h"

#include "data/busy.h"
#include "data/errors.h"
#include "data/prompts.h"
#include "members/keyedrows.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>

using namespace tessary;

QString TVaraDavuz::reconnectingText()
{
    return QStringLiteral("Reconnecting to the card database server…");
}

void TVaraDavuz::connectReconnection()
{
    sbServer = new QLabel(reconnectingText(), statusBar());
    sbServer->setObjectName(QStringLiteral("sbServer"));
    sbServer->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    sbServer->setVisible(false);
    statusBar()->addPermanentWidget(sbServer);

    // The signals may come from inside a statement: the lists are read
    // afterwards, and never inside a command that walks them.
    m_reconnectRefill = new QTimer(this);
    m_reconnectRefill->setSingleShot(true);
    m_reconnectRefill->setInterval(0);
    connect(m_reconnectRefill, &QTimer::timeout, this, [this] {
        runWhenIdle([this] { guarded([this] { followReconnect(); }); });
    });
    // The status bar and the commands' states say whether the server is away.
    connect(&m_data.src, &Connection::connectionLost, this, [this] { updateCommandStates(); });
    connect(&m_data.src, &Connection::reconnected, this, [this] {
        updateCommandStates();
        m_reconnectRefill->start();
    });
}

void TVaraDavuz::quietWhileServerAway(const std::function<void()> &refill)
{
    try {
        refill();
    } catch (const ServerLostError &) {
        // The status bar says the server is away; the lists are read again
        // once it is back.
    }
}

void TVaraDavuz::followReconnect()
{
    if (!m_data.src.connected() || m_data.src.reconnecting())
        return;
    quietWhileServerAway([this] {
        // A list whose reading failed while the server was away is closed.
        if (!m_data.QGroup.isOpen())
            m_data.QGroup.open();
        if (!m_data.QStaff.isOpen()) {
            listCurrentGroup();
            seekRow(m_data.QStaff, m_shown.seq);
        }
        followRemoteChanges();
    });
    updateCommandStates();
}
