#include "exchange/spreadsheetimport.h"

#include "exchange/workbook.h"

#include "data/connection.h"
#include "data/datasrc.h"
#include "data/errors.h"
#include "data/progresssink.h"
#include "data/prompts.h"
#include "data/query.h"
#include "data/scopeexit.h"
#include "members/groupstore.h"
#include "photo/picture.h"

#include <QDir>
#include <QFileInfo>

namespace tessary {

namespace {

const QString kSheet = QStringLiteral("RECORDS");

// The sheet's columns, looked up once.
struct SheetColumns
{
    explicit SheetColumns(const Workbook &book)
        : group(book.column(QStringLiteral("GROUP"))),
          name(book.column(QStringLiteral("NAME"))),
          id(book.column(QStringLiteral("ID"))),
          cname(book.column(QStringLiteral("CNAME"))),
          position(book.column(QStringLiteral("POSITION"))),
          joined(book.column(QStringLiteral("JOINED"))),
          expiry(book.column(QStringLiteral("EXPIRY"))),
          remark(book.column(QStringLiteral("REMARK"))),
          photo(book.column(QStringLiteral("PHOTO")))
    {
    }
    std::optional<int> group, name, id, cname, position, joined, expiry, remark, photo;
};

// The picture file a row names: a relative path is taken from the
// workbook's folder, so a workbook moves together with its photos.
QString photoPath(const QString &cell, const QString &workbookFolder)
{
    if (cell.isEmpty() || QDir::isAbsolutePath(cell))
        return cell;
    return QDir(workbookFolder).filePath(cell);
}

} // namespace

SpreadsheetImport::Outcome SpreadsheetImport::run()
{
    Query &all = m_data.QAllStaff;
    all.setSql(allMembersSql());
    all.open();
    OnExit closeAll([&] { all.close(); });

    const QString path = prompts().openFileName(QStringLiteral("Import Excel Records"),
                                                QStringLiteral("Excel Files (*.xls)|*.xls|All Files (*.*)|*.*"),
                                                QStringLiteral("import.xls"), QStringLiteral("xls"));
    Outcome outcome = Outcome::Cancelled;
    if (!path.isEmpty())
        outcome = importFile(path);
    all.close();
    if (outcome != Outcome::Stopped)
        m_data.src.announceChanged();
    return outcome;
}

SpreadsheetImport::Outcome SpreadsheetImport::importFile(const QString &path)
{
    m_stored = 0;
    // Opening the workbook and its sheet may fail; nothing is changed then.
    Workbook book(path);
    book.selectSheet(kSheet);
    const SheetColumns columns(book);
    const QString folder = QFileInfo(path).absolutePath();

    Query &all = m_data.QAllStaff;
    const bool openedHere = !all.isOpen();
    if (openedHere) {
        all.setSql(allMembersSql());
        all.open();
    }
    Query &groups = m_data.QGroup;
    if (!groups.isOpen())
        groups.open();
    OnExit cleanUp([&] {
        if (all.isOpen())
            all.cancel();
        if (openedHere)
            all.close();
        m_progress.Hide();
    });

    m_progress.SetRange(book.rowCount());
    m_progress.Show();
    GroupStore groupStore(groups);

    // One transaction for the whole sheet: each member is stored as its row
    // is read, and a stop keeps the rows before it.
    Transaction transaction(m_data.src);
    auto stop = [&] {
        if (all.isOpen())
            all.cancel();
        transaction.commit();
        m_progress.Hide();
        ShowPostError();
        return Outcome::Stopped;
    };

    for (int row = 0; row < book.rowCount(); ++row) {
        m_progress.ProcessMessages();

        int groupId = GroupStore::kUngroupedId;
        const QString groupName = book.text(row, columns.group);
        if (!groupName.isEmpty()) {
            try {
                const std::optional<int> found = groupStore.idOf(groupName);
                groupId = found ? *found : groupStore.create(groupName);
            } catch (const Error &) {
                return stop();
            }
        }

        const QString name = book.text(row, columns.name);
        bool existing = false;
        try {
            if (!columns.name)
                throw Error(QStringLiteral("The sheet has no NAME column"));
            existing = all.recordCount() > 0 && all.locate(QStringLiteral("name"), name);
            if (existing)
                all.edit();
            else
                all.append();
            all.fieldByName(QStringLiteral("gid")).setInteger(groupId);
            all.fieldByName(QStringLiteral("staffno")).setString(book.text(row, columns.id));
            all.fieldByName(QStringLiteral("name")).setString(name);
            all.fieldByName(QStringLiteral("cname")).setString(book.text(row, columns.cname));
            all.fieldByName(QStringLiteral("post")).setString(book.text(row, columns.position));
            all.fieldByName(QStringLiteral("datejoin")).setString(book.text(row, columns.joined));
            all.fieldByName(QStringLiteral("expiry")).setString(book.text(row, columns.expiry));
            all.fieldByName(QStringLiteral("remark")).setString(book.text(row, columns.remark));

            const QString photoFile = photoPath(book.text(row, columns.photo), folder);
            const QImage picture = photoFile.isEmpty() ? QImage() : ReadJpegFile(photoFile);
            if (picture.isNull()) {
                // A member that had a photo keeps it rather than losing it
                // to a missing file; a new member is stored without one.
                ShowCreateError();
                if (!existing)
                    all.fieldByName(QStringLiteral("photo")).setBytes(QByteArray());
            } else {
                all.fieldByName(QStringLiteral("photo")).setBytes(SavePictureToBlob(PictureAtSize(picture, 0, 0)));
            }
            all.post();
        } catch (const Error &) {
            return stop();
        }
        ++m_stored;
        m_progress.StepIt();
    }
    transaction.commit();
    m_progress.Hide();
    return Outcome::Completed;
}

} // namespace tessary
