// The main window's data-exchange commands: backup, restore, spreadsheet
// import and the export to the access-control database. The work is done by
// the exchange library; these handlers only give it the window's progress
// windows and paths.

#include "mainwindow.h"

#include "data/busy.h"
#include "data/prompts.h"
#include "exchange/cardexport.h"
#include "exchange/databasefiles.h"
#include "exchange/spreadsheetimport.h"
#include "photoui/progress.h"

#include <QAction>

using namespace tessary;

void TVaraDavuz::connectExchangeCommands()
{
    connect(actBackup, &QAction::triggered, this, [this] { guarded([this] { actBackupExecute(); }); });
    connect(actRestore, &QAction::triggered, this, [this] { guarded([this] { actRestoreExecute(); }); });
    connect(actImport, &QAction::triggered, this, [this] { guarded([this] { actImportExecute(); }); });
    connect(actExport, &QAction::triggered, this, [this] { guarded([this] { actExportExecute(); }); });
}

// Each command is a long operation: reader notifications and timers wait
// until it has ended (BusyScope).
// On a server there is no database file: the program folder holds the
// temporary copy of a file being restored.
void TVaraDavuz::actBackupExecute()
{
    BusyScope busy;
    std::unique_ptr<TPg> progress = m_data.src.isServer() ? TPg::CreateRange(this, 0, 0) : nullptr;
    const QString path = DatabasePath.isEmpty() ? ProgramFolder + QStringLiteral("cardinfo.mdb") : DatabasePath;
    DatabaseFiles(m_data, path, progress.get()).Backup();
}

void TVaraDavuz::actRestoreExecute()
{
    // Restore announces the change, which lists everything again.
    BusyScope busy;
    std::unique_ptr<TPg> progress = m_data.src.isServer() ? TPg::CreateRange(this, 0, 0) : nullptr;
    const QString path = DatabasePath.isEmpty() ? ProgramFolder + QStringLiteral("cardinfo.mdb") : DatabasePath;
    DatabaseFiles(m_data, path, progress.get()).Restore();
}

void TVaraDavuz::actImportExecute()
{
    BusyScope busy;
    std::unique_ptr<TPg> progress = TPg::CreateRange(this, 0, 0);
    SpreadsheetImport(m_data, *progress).run();
}

void TVaraDavuz::actExportExecute()
{
    BusyScope busy;
    CardExport(m_data, ProgramFolder, [this](const QString &caption, int maximum) -> std::unique_ptr<ProgressSink> {
        return TPg::CreateCaptioned(this, caption, maximum);
    }).run();
}
