#include "exchange/spreadsheetimport.h"

#include "exchange/filecopy.h"
#include "exchange/sheetprocess.h"

#include "data/connection.h"
#include "data/datasrc.h"
#include "data/errors.h"
#include "data/progresssink.h"
#include "data/prompts.h"
#include "data/query.h"
#include "data/scopeexit.h"
#include "members/groupstore.h"
#include "members/keyedrows.h"
#include "photo/jpegcodec.h"
#include "photo/picture.h"

#include <QDir>
#include <QHash>
#include <QFileInfo>

#include <functional>
#include <memory>

namespace tessary {

namespace {

// The sheet's columns, looked up once.
struct SheetColumns
{
    explicit SheetColumns(const QStringList &names)
        : group(columnIndex(names, QStringLiteral("GROUP"))),
          name(columnIndex(names, QStringLiteral("NAME"))),
          id(columnIndex(names, QStringLiteral("ID"))),
          cname(columnIndex(names, QStringLiteral("CNAME"))),
          position(columnIndex(names, QStringLiteral("POSITION"))),
          joined(columnIndex(names, QStringLiteral("JOINED"))),
          expiry(columnIndex(names, QStringLiteral("EXPIRY"))),
          remark(columnIndex(names, QStringLiteral("REMARK"))),
          photo(columnIndex(names, QStringLiteral("PHOTO")))
    {
    }
    std::optional<int> group, name, id, cname, position, joined, expiry, remark, photo;
};

// One data row as the reader sent it; a missing column or a cell beyond
// the row's last reads as empty text.
class SheetRow
{
public:
    explicit SheetRow(const QVector<SheetCell> &cells) : m_cells(cells) {}
    QString text(const std::optional<int> &column) const
    {
        return column && *column < m_cells.size() ? m_cells.at(*column).asText() : QString();
    }

private:
    const QVector<SheetCell> &m_cells;
};

// The picture file a row names: a relative path is taken from the
// workbook's folder, so a workbook moves together with its photos.
QString photoPath(const QString &cell, const QString &workbookFolder)
{
    if (cell.isEmpty() || QDir::isAbsolutePath(cell))
        return cell;
    return QDir(workbookFolder).filePath(cell);
}

// The picture of a PHOTO cell. Only a regular file is read, and no more of
// it than the decoder accepts: a FIFO must not block the import while it
// holds the write transaction, nor a device such as /dev/zero fill memory.
QImage readPhoto(const QString &path)
{
    if (path.isEmpty())
        return {};
    const std::optional<QByteArray> bytes = ReadRegularFile(path, jpeg::kMaxDecodedBytes);
    return bytes ? jpeg::decode(*bytes) : QImage();
}


// The first member of each name, in the order of `members` (by name), as
// locating by an equal name finds it: name to row id.
QHash<QString, qint64> membersByName(Query &members)
{
    QHash<QString, qint64> byName;
    const int column = members.columnIndex(QStringLiteral("name"));
    const int rows = members.recordCount();
    byName.reserve(rows);
    for (int row = 0; row < rows; ++row) {
        const QVariant name = members.valueAt(row, column);
        if (!name.isNull() && !byName.contains(name.toString()))
            byName.insert(name.toString(), members.rowId(row));
    }
    return byName;
}

// Sets the member in edit from one sheet row and stores it; throws
// tessary::Error when it cannot be stored. `byName` finds members by an
// equal name without walking the list, and learns the members appended.
void storeMember(Query &members, QHash<QString, qint64> &byName, const SheetRow &row, const SheetColumns &columns,
                 int groupId, const QString &folder)
{
    if (!columns.name)
        throw Error(QStringLiteral("The sheet has no NAME column"));
    const QString name = row.text(columns.name);
    const auto known = byName.constFind(name);
    const bool existing = known != byName.constEnd() && seekRow(members, *known);
    if (existing)
        members.edit();
    else
        members.append();
    members.fieldByName(QStringLiteral("gid")).setInteger(groupId);
    members.fieldByName(QStringLiteral("staffno")).setString(row.text(columns.id));
    members.fieldByName(QStringLiteral("name")).setString(name);
    members.fieldByName(QStringLiteral("cname")).setString(row.text(columns.cname));
    members.fieldByName(QStringLiteral("post")).setString(row.text(columns.position));
    members.fieldByName(QStringLiteral("datejoin")).setString(row.text(columns.joined));
    members.fieldByName(QStringLiteral("expiry")).setString(row.text(columns.expiry));
    members.fieldByName(QStringLiteral("remark")).setString(row.text(columns.remark));

    const QImage picture = readPhoto(photoPath(row.text(columns.photo), folder));
    if (picture.isNull()) {
        // A member that had a photo keeps it rather than losing it to a
        // missing file; a new member is stored without one.
        ShowCreateError();
        if (!existing)
            members.fieldByName(QStringLiteral("photo")).setBytes(QByteArray());
    } else {
        members.fieldByName(QStringLiteral("photo")).setBytes(SavePictureToBlob(PictureAtSize(picture, 0, 0)));
    }
    members.post();
    if (!existing && !byName.contains(name))
        byName.insert(name, members.rowId(members.recNo()));
}

} // namespace

SpreadsheetImport::Outcome SpreadsheetImport::run()
{
    const QString path = prompts().openFileName(QStringLiteral("Import Excel Records"), kImportFilter,
                                                QStringLiteral("import.xls"), QStringLiteral("xls"));
    Outcome outcome = Outcome::Cancelled;
    if (!path.isEmpty())
        outcome = importFile(path);
    if (outcome != Outcome::Stopped)
        m_data.src.announceChanged();
    return outcome;
}

SpreadsheetImport::Outcome SpreadsheetImport::importFile(const QString &path)
{
    m_stored = 0;
    // Opening the file and its sheet may fail; nothing is changed then. The
    // reader runs in a process of its own: a file that breaks it ends the
    // import, never the program.
    SheetProcess sheet(path);
    const QString folder = QFileInfo(path).absolutePath();
    const SheetColumns columns(sheet.columnNames());

    const std::unique_ptr<Query> members =
        openQuery(m_data.src, QStringLiteral("ImportMembers"), allMembersSql(), memberColumns());
    const std::unique_ptr<Query> groups =
        openQuery(m_data.src, QStringLiteral("ImportGroups"), groupListSql(), groupColumns());
    OnExit cleanUp([&] {
        if (members->isOpen())
            members->cancel();
        m_progress.Hide();
    });

    m_progress.SetRange(sheet.rowCount());
    m_progress.Show();
    GroupStore groupStore(*groups);
    QHash<QString, qint64> byName = membersByName(*members);

    // One transaction for the whole sheet: each member is stored as its row
    // is read, and a stop keeps the rows before it.
    Transaction transaction(m_data.src);
    auto stop = [&](const std::function<void()> &tell) {
        if (members->isOpen())
            members->cancel();
        transaction.commit();
        m_progress.Hide();
        tell();
        return Outcome::Stopped;
    };

    QVector<SheetCell> cells;
    for (;;) {
        try {
            if (!sheet.nextRow(cells))
                break;
        } catch (const SheetReadFailure &e) {
            return stop([&] { ShowErrorReport(e.message()); });
        }
        m_progress.ProcessMessages();
        try {
            const SheetRow row(cells);
            int groupId = GroupStore::kUngroupedId;
            const QString groupName = row.text(columns.group);
            if (!groupName.isEmpty()) {
                const std::optional<int> found = groupStore.idOf(groupName);
                groupId = found ? *found : groupStore.create(groupName);
            }
            storeMember(*members, byName, row, columns, groupId, folder);
        } catch (const Error &) {
            return stop(ShowPostError);
        }
        ++m_stored;
        m_progress.StepIt();
    }
    transaction.commit();
    m_progress.Hide();
    return Outcome::Completed;
}

} // namespace tessary
