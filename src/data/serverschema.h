#pragma once

// The card database on a server: the same four tables, columns (in the same
// order), indexes and seed rows as the embedded file, in the server's types.
// Each column carries the embedded declared type as its comment, which the
// server engine reports as the column's declared type.

#include "engine.h"
#include "schema.h"

namespace tessary {

// Creates what is missing: the citext extension, the tables, the indexes,
// the change notification trigger on each table and the seed rows (the
// DEFAULT group, the layout row, the field catalogue). Never drops or
// changes data; running it again is harmless. One transaction. Refuses a
// database whose encoding is not UTF-8 or whose character type is not C
// (names would then fold case beyond ASCII, unlike the embedded file).
void prepareServerDatabase(SqlEngine &engine, const CardDatabaseSeed &seed);

// Sets each table's key generator so the next new row gets max(seq) + 1;
// needed after rows were inserted with their own seq (a restore).
void syncServerKeys(SqlEngine &engine);

// Creates table `table` of the card database on the server when it is
// missing (with its change notification).
void createServerTable(SqlEngine &engine, const QString &table);

// The notification channel the tables' triggers signal on a change; the
// payload is the table's name.
inline const QString kServerChangeChannel = QStringLiteral("tessary_changed");

} // namespace tessary
