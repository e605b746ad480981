#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace tessary {

class ProgressSink;
class Tdsrc;

// Makes the progress window of one step of a long operation, with its
// caption and its range already set.
using ProgressMaker = std::function<std::unique_ptr<ProgressSink>(const QString &caption, int maximum)>;

// Writes the groups and the card-holding members of the card database into a
// fresh copy of the access-control system's database: the template
// "namecard-b.mdb" of the program folder is copied to the chosen place,
// opened through the data module's `exp` connection, and its tables `gid`
// and `staffs` are filled through `DbGrp` and `DbOut`.
class CardExport
{
public:
    // `programFolder` ends with a separator or not; `progress` makes the two
    // progress windows.
    CardExport(Tdsrc &data, const QString &programFolder, ProgressMaker progress);

    // The whole command: asks where the copy goes ("Select Card Database"),
    // copies the template there (replacing a file without asking), exports
    // and reports "Card exported = <n>". `exp` is closed at the end in every
    // case. Answers the number of members exported (0 after a failure or a
    // cancelled dialog).
    int run();

    // With the copy open on `exp`: one `gid` row per group in name order.
    // Answers the count, or 0 after "Fail to export record.". Both steps
    // list their rows when they start, on queries of their own, and export
    // exactly those rows.
    int ExportGroups();
    // One `staffs` row per member whose card number is above 0, in name
    // order. Answers the count, or 0 after "Fail to export record.".
    int ExportMembers();

    QString templatePath() const;

private:
    Tdsrc &m_data;
    QString m_programFolder;
    ProgressMaker m_progress;
};

} // namespace tessary
