#pragma once

#include "connection.h"
#include "query.h"

#include <QObject>

namespace tessary {

// Statements of the card database, built as lists of lines.
QStringList groupListSql();
QStringList memberListSql(int groupId, const QString &sortOrder);
QStringList allMembersSql();

// The column declarations of the member and group queries.
QVector<ColumnDecl> groupColumns();
QVector<ColumnDecl> memberColumns();
QVector<ColumnDecl> joinedMemberColumns();
// The card layout tables, "select * from param" and "select * from fields".
QVector<ColumnDecl> paramColumns();
QVector<ColumnDecl> fieldsColumns();

// The export database: its statements and the columns its queries declare
// (every column of the access-control tables `staffs` and `gid`).
QStringList exportStaffSql();
QStringList exportGroupSql();
QVector<ColumnDecl> exportStaffColumns();
QVector<ColumnDecl> exportGroupColumns();

// The data module: owns the card database connection `src` with its
// queries, and the export connection `exp` with its queries, for the whole
// run. Created before the main window, destroyed after it.
class Tdsrc : public QObject
{
    Q_OBJECT
public:
    explicit Tdsrc(QObject *parent = nullptr);
    ~Tdsrc() override;

    Connection src;
    Query QGroup;
    Query QStaff;
    Query QList;
    Query QAllStaff;

    Connection exp;
    Query DbOut;
    Query DbGrp;
};

} // namespace tessary
