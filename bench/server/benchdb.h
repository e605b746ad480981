#pragma once

// The benchmark's card database on one engine: 100,000 members with 20 KB
// photos, 5,000 of them in group 1 and 20,000 in group 2, the rest in
// fifteen groups of 5,000. Member n (1-based) is the same on both engines.

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace tessary {

namespace testing {
class ServerDb;
}

inline constexpr int kMembers = 100000;
inline constexpr int kPhotoBytes = 20 * 1024;
inline constexpr int kSmallGroup = 1;  // 5,000 members
inline constexpr int kLargeGroup = 2;  // 20,000 members
inline constexpr int kSmallGroupSize = 5000;
inline constexpr int kLargeGroupSize = 20000;

// Where one engine's benchmark database lives.
class BenchDatabase
{
public:
    virtual ~BenchDatabase() = default;
    virtual QString engineName() const = 0;
    // Whether another station's change is announced to the others.
    virtual bool announcesChanges() const = 0;
    // Makes the tables and fills them with the members.
    virtual void fill() = 0;
    // The connection string of the database the measurements use.
    virtual QString connectionString() const = 0;
    // The connection string of a database identical to the filled one in
    // what matters to Delete All: group 2 whole, the other members there.
    virtual QString deletionCopy() = 0;
};

// The embedded file in a temporary folder; deletion copies are file copies.
std::unique_ptr<BenchDatabase> makeFileDatabase(const QString &folder);
// A fresh database on the server `maintenance` names (a connection string of
// its maintenance database); deletion copies refill group 2 in place.
std::unique_ptr<BenchDatabase> makeServerDatabase();

// The photo every member carries: JPEG framing around 20 KB of noise (a
// JPEG's entropy-coded bytes do not compress either).
QByteArray benchPhoto();

// Members of `groupId` as committed, read on a connection of its own.
int committedMembers(const QString &connectionString, int groupId);

} // namespace tessary
