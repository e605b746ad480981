#pragma once

#include <QImage>
#include <QString>

#include "data/schema.h"

#include <functional>

namespace tessary {

// Answers whether the program may write into a folder.
using FolderWritable = std::function<bool(const QString &folder)>;

// The process may create and replace files in `folder` (access(2) with
// W_OK and X_OK). As root this is true for almost any folder.
bool isFolderWritable(const QString &folder);

// The check the main window uses at start-up; replaceable (tests), and
// `isFolderWritable` unless replaced. Answers the previous check.
FolderWritable setFolderWritableCheck(FolderWritable check);
const FolderWritable &folderWritableCheck();

// The folder that holds the card database and the export template: the
// program's own folder whenever it is writable, otherwise the user's data
// folder (QStandardPaths::AppDataLocation), as after a system-wide install.
// The answer ends with a separator.
QString chooseDataFolder(const QString &programFolder, const FolderWritable &writable);

// The background of a new card database: a soft blue card with navy
// stripes, 86 x 54 mm at 300 dots per inch.
QImage drawCardBackground();

// What `prepareDataFolder` created, by file name.
struct PreparedFiles
{
    bool cardDatabase = false;
    bool exportTemplate = false;
};

// The seed rows' pictures of a new card database, file or server.
CardDatabaseSeed newCardDatabaseSeed();

// Creates the folder (owner-only when new) and, in it, "cardinfo.mdb" (only
// with `withCardDatabase`: a card database on a server needs none) and
// the export template "namecard-b.mdb", each only when it does not exist;
// both owner-only (mode 0600). An existing file is never touched. Throws
// Error when the folder or a file cannot be created.
PreparedFiles prepareDataFolder(const QString &folder, bool withCardDatabase = true);

} // namespace tessary
