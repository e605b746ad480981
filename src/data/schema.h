#pragma once

#include <QByteArray>
#include <QString>

namespace tessary {

class SqlEngine;

// The database password carried by the connection strings.
inline const QString kDatabasePassword = QStringLiteral("qlmr.zt");

// The connection string of the card database at `path`.
QString cardConnectionString(const QString &path);
// The connection string of the card database on a server: `conninfo` is a
// libpq connection string or URI.
QString serverConnectionString(const QString &conninfo);
// The connection string of an export database copy at `path`.
QString exportConnectionString(const QString &path);

// Seed values for a new card database.
struct CardDatabaseSeed
{
    QByteArray background; // the card background picture, one JPEG stream
    QByteArray fontStream; // the sample label's component stream
};

// Creates a new card database file with its four tables, indexes and seed
// rows. Refuses (throws) when the file already exists: an operator's
// database is never overwritten.
void createCardDatabase(const QString &path, const CardDatabaseSeed &seed);

// Creates the table `carddesign` (key, version, document: what the layout
// tables cannot hold) when the card database lacks it, on either engine.
void ensureCardDesignTable(SqlEngine &engine);

// Creates an empty export template (tables staffs and gid). Refuses when the
// file exists.
void createExportTemplate(const QString &path);

} // namespace tessary
