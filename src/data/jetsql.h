#pragma once

#include <QString>
#include <QVariantList>

#include <optional>

namespace tessary {

// A statement written in the Jet dialect, turned into SQLite's: "select top
// N" becomes a row limit, and text literals in double quotes (a doubled quote
// standing for one inside) become bound parameters, so their contents are
// never pasted into SQL.
struct TranslatedSql
{
    QString sql;              // SQLite text with '?' for each literal
    QVariantList parameters;  // values of the '?' in order
    std::optional<int> limit; // from "top N"; already appended to sql
    QString body;             // sql without the limit clause
};

TranslatedSql translateJetSql(const QString &jetSql);

// The shape of a "select * from A [left join B on ...] [where ...]
// [order by ...]" statement, which the query layer serves lazily and
// updatably. Parsed from a translated statement's body.
struct SelectShape
{
    QString firstTable;
    QString joinedTable;   // empty without a join
    QString fromClause;    // "A" or "A left join B on ..."
    QString onClause;      // the join condition; empty without a join
    QString whereClause;   // text after "where", may be empty
    QString orderClause;   // text after "order by", may be empty
};

std::optional<SelectShape> parseSelectStar(const QString &translatedBody);

// Quotes an identifier for SQLite.
QString quoteIdentifier(const QString &name);

} // namespace tessary
