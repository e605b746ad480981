// The main window's card database: which one is opened (the file beside the
// program, or a database on a server named by the setting `Server`), and the
// "Card Database" command that changes the choice and opens the new one.

#include "mainwindow.h"

#include "carddbdialog.h"
#include "datafolder.h"

#include "data/busy.h"
#include "data/databasechoice.h"
#include "data/errors.h"
#include "data/prompts.h"
#include "data/schema.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStandardPaths>

using namespace tessary;

namespace {

bool isUserDataFolder(const QString &folder)
{
    const QString user = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return !user.isEmpty() && QDir(folder) == QDir(user);
}

} // namespace

bool TVaraDavuz::openCardDatabase()
{
    DatabaseServer = readServerSetting();
    m_data.src.disconnect();
    if (DatabaseServer.isEmpty()) {
        DatabasePath = ProgramFolder + QStringLiteral("cardinfo.mdb");
        // The user's data folder (a system-wide install) gets its file on
        // first use, also when the program started on a server.
        if (isUserDataFolder(ProgramFolder))
            prepareDataFolder(ProgramFolder);
        if (!lockDatabase())
            return false;
        m_data.src.setConnectionString(cardConnectionString(DatabasePath));
        m_data.src.connect();
    } else {
        // The lock and the clean-up of temporaries are the file's only: any
        // number of stations open a server's database.
        m_lock.reset();
        DatabasePath.clear();
        m_data.src.setConnectionString(serverConnectionString(DatabaseServer));
        try {
            m_data.src.connect();
        } catch (const Error &e) {
            // Never the local file instead: the operator chose the server.
            ShowErrorBox(e.message());
            return false;
        }
    }
    m_data.QGroup.open();
    return true;
}

void TVaraDavuz::reopenCardDatabase()
{
    // Only a refusal at start-up ends the program; here the window stays.
    const bool inUseBefore = m_databaseInUse;
    bool opened = false;
    guarded([&] { opened = openCardDatabase(); });
    m_databaseInUse = inUseBefore;
    if (opened) {
        // As after a restore: whoever shows data reads it again.
        m_data.src.announceChanged();
        return;
    }
    m_data.src.disconnect();
    lstGroup->clear();
    puMenu->clear();
    for (QLabel *panel : sbPanels)
        panel->clear();
    listShownGroupOrNothing();
    updateCommandStates();
}

QString TVaraDavuz::databaseWhereabouts() const
{
    if (!DatabaseServer.isEmpty())
        return QStringLiteral("the server's database ") +
               (m_data.src.connected() ? m_data.src.location() : serverLocation(DatabaseServer));
    return DatabasePath.isEmpty() ? QStringLiteral("cardinfo.mdb") : DatabasePath;
}

void TVaraDavuz::actCardDbExecute()
{
    QString inUse;
    if (m_data.src.connected())
        inUse = (m_data.src.isServer() ? QStringLiteral("Server, ") : QStringLiteral("This computer, ")) +
                m_data.src.location();
    else
        inUse = QStringLiteral("none (%1 could not be opened)").arg(databaseWhereabouts());
    TFmCardDb dialog(inUse, readServerSetting(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The same card database, still open: the window stays as it is.
    if (dialog.chosenServer() == readServerSetting() && m_data.src.connected())
        return;
    if (paneEdited() && !ConfirmYesNo(QStringLiteral("Discard the changes to %1?").arg(editedMemberName())))
        return;
    saveServerSetting(dialog.chosenServer());
    BusyScope busy;
    reopenCardDatabase();
}

QString TVaraDavuz::editedMemberName() const
{
    if (!eName->text().isEmpty())
        return eName->text();
    return m_shownTexts.value(1).isEmpty() ? QStringLiteral("the new member") : m_shownTexts.value(1);
}
