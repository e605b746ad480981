#pragma once

#include <QString>

#include <optional>

namespace tessary {

class Query;

// The rules for groups, on the group query (`QGroup`) and the member list
// query (`QStaff`) of the data module. No widgets: the main window and the
// spreadsheet import both use them.
class GroupStore
{
public:
    // Group ids are 16-bit; a group's id is its own row key.
    static constexpr int kLargestGroupId = 32767;
    static constexpr int kUngroupedId = 0;

    explicit GroupStore(Query &groups) : m_groups(groups) {}

    // The id of the first group named exactly `name`; nullopt when none.
    std::optional<int> idOf(const QString &name);

    // Appends a group named `name` and gives it the id of its own row key
    // (`gid` := `seq`, or the next id above that no group holds); the new group is the query's current row and the
    // answer is its id. Both stores are one transaction: a key above 32767,
    // or any failure, rolls the new row back, so no half-made group stays
    // behind with the id of the DEFAULT group, and throws tessary::Error.
    int create(const QString &name);

    // Removes the group named `name` (its first row). Members of `members`
    // (the listed members) that belong to it when the removal starts move
    // to group 0 first, found by their keys. False
    // when no group has that name. The DEFAULT group is the caller's to
    // refuse. Runs in one transaction.
    bool remove(const QString &name, Query &members);

private:
    int createOnce(const QString &name);
    // The first group id from `seq` on that no other group holds.
    int freeGroupId(int seq);

    Query &m_groups;
};

} // namespace tessary
