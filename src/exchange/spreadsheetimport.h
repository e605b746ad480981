#pragma once

#include <QString>

namespace tessary {

class ProgressSink;
class Tdsrc;

// The import's file dialog filter: every readable kind first, then each.
const QString kImportFilter =
    QStringLiteral("All supported (*.xlsx *.xls *.csv)|*.xlsx;*.xls;*.csv|Excel Workbook (*.xlsx)|*.xlsx|"
                   "Excel 97-2003 Workbook (*.xls)|*.xls|Text CSV (*.csv)|*.csv");

// Reads members from the "RECORDS" sheet of a workbook (.xls or .xlsx; an
// .xlsx without it: its first sheet) or from a CSV file into
// the card database: groups named in the sheet are created on the way, a
// member whose name exists is updated in place, every other row becomes a
// new member, and each member's photo is loaded from the JPEG file the row
// names (a relative path is taken from the workbook's folder).
class SpreadsheetImport
{
public:
    enum class Outcome {
        Cancelled, // the operator cancelled the file dialog
        Completed, // every row was stored
        Stopped    // a row could not be stored; the rows before it were
    };

    // `progress` gets the number of data rows as its range and one step per
    // stored row. The data module's `src` must be connected.
    SpreadsheetImport(Tdsrc &data, ProgressSink &progress) : m_data(data), m_progress(progress) {}

    // The whole command: asks for the workbook ("Import Excel Records"),
    // imports it, and announces the change (the window lists everything
    // again) after a cancelled dialog or a completed import, not after a
    // stop. A file that cannot be opened or has no "RECORDS" sheet throws
    // tessary::Error before anything is changed. A reader that fails
    // part-way ends the import with "The file cannot be read."; the rows
    // stored before stay.
    Outcome run();

    // Imports the workbook at `path` without asking for it and without
    // announcing the change. The import works on queries of its own, so
    // whatever runs between its rows (the progress window processes
    // pending events) cannot close or move them; the data module's shared
    // queries are not used.
    Outcome importFile(const QString &path);

    // Rows stored by the last import.
    int stored() const { return m_stored; }

private:
    Tdsrc &m_data;
    ProgressSink &m_progress;
    int m_stored = 0;
};

} // namespace tessary
