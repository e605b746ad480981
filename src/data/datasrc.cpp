#include "datasrc.h"

namespace tessary {

QStringList groupListSql()
{
    return {QStringLiteral("select * from grptbl order by gdesc")};
}

QStringList memberListSql(int groupId, const QString &sortOrder)
{
    return {QStringLiteral("select * from stafftbl where gid="), QString::number(groupId), QStringLiteral("order by"),
            sortOrder};
}

QStringList allMembersSql()
{
    return {QStringLiteral("select * from stafftbl "), QStringLiteral("order by name")};
}

QVector<ColumnDecl> groupColumns()
{
    return {{QStringLiteral("seq"), FieldType::AutoInc},
            {QStringLiteral("gid"), FieldType::SmallInt},
            {QStringLiteral("gdesc"), FieldType::Text}};
}

QVector<ColumnDecl> memberColumns()
{
    return {{QStringLiteral("seq"), FieldType::AutoInc},     {QStringLiteral("gid"), FieldType::SmallInt},
            {QStringLiteral("cardno"), FieldType::Integer},  {QStringLiteral("name"), FieldType::Text},
            {QStringLiteral("cname"), FieldType::Text},      {QStringLiteral("staffno"), FieldType::AnsiText},
            {QStringLiteral("post"), FieldType::Text},       {QStringLiteral("datejoin"), FieldType::DateTime},
            {QStringLiteral("expiry"), FieldType::DateTime}, {QStringLiteral("remark"), FieldType::Text},
            {QStringLiteral("photo"), FieldType::Blob}};
}

// The layout tables as the card layout opens them ("select * from param",
// "select * from fields"), with the types its queries declare.
QVector<ColumnDecl> paramColumns()
{
    QVector<ColumnDecl> c{{QStringLiteral("seq"), FieldType::AutoInc}, {QStringLiteral("bitmap"), FieldType::Blob}};
    for (int i = 1; i <= 7; ++i)
        c.append({QStringLiteral("f%1").arg(i), FieldType::SmallInt});
    c.append({{QStringLiteral("printback"), FieldType::Boolean},
              {QStringLiteral("style"), FieldType::SmallInt},
              {QStringLiteral("lines"), FieldType::Boolean},
              {QStringLiteral("captions"), FieldType::Boolean},
              {QStringLiteral("position"), FieldType::Double},
              {QStringLiteral("custom"), FieldType::Boolean},
              {QStringLiteral("font"), FieldType::Blob},
              {QStringLiteral("psize"), FieldType::Integer},
              {QStringLiteral("palign"), FieldType::Integer},
              {QStringLiteral("osx"), FieldType::SmallInt},
              {QStringLiteral("osy"), FieldType::SmallInt}});
    return c;
}

QVector<ColumnDecl> fieldsColumns()
{
    return {{QStringLiteral("seq"), FieldType::AutoInc},
            {QStringLiteral("fname"), FieldType::Text},
            {QStringLiteral("dname"), FieldType::Text},
            {QStringLiteral("uname"), FieldType::Text}};
}

QVector<ColumnDecl> joinedMemberColumns()
{
    return {{QStringLiteral("stafftbl.seq"), FieldType::AutoInc},
            {QStringLiteral("stafftbl.gid"), FieldType::SmallInt},
            {QStringLiteral("cardno"), FieldType::Integer},
            {QStringLiteral("name"), FieldType::Text},
            {QStringLiteral("cname"), FieldType::Text},
            {QStringLiteral("staffno"), FieldType::AnsiText},
            {QStringLiteral("post"), FieldType::Text},
            {QStringLiteral("datejoin"), FieldType::DateTime},
            {QStringLiteral("expiry"), FieldType::DateTime},
            {QStringLiteral("remark"), FieldType::Text},
            {QStringLiteral("photo"), FieldType::Blob},
            {QStringLiteral("grptbl.seq"), FieldType::AutoInc},
            {QStringLiteral("grptbl.gid"), FieldType::SmallInt},
            {QStringLiteral("gdesc"), FieldType::Text}};
}

QStringList exportStaffSql()
{
    return {QStringLiteral("select * from staffs order by cardno")};
}

QStringList exportGroupSql()
{
    return {QStringLiteral("select * from gid order by id")};
}

QVector<ColumnDecl> exportStaffColumns()
{
    QVector<ColumnDecl> columns = {{QStringLiteral("SEQ"), FieldType::AutoInc},
                                   {QStringLiteral("CARDNO"), FieldType::Integer},
                                   {QStringLiteral("NAME"), FieldType::Text},
                                   {QStringLiteral("CNAME"), FieldType::Text},
                                   {QStringLiteral("WORKGRP"), FieldType::Integer},
                                   {QStringLiteral("TIMEGRP"), FieldType::Integer},
                                   {QStringLiteral("ACCESSGRP"), FieldType::Integer},
                                   {QStringLiteral("OFFLINE"), FieldType::Boolean},
                                   {QStringLiteral("PICKED"), FieldType::Boolean}};
    for (int port = 1; port <= 8; ++port)
        columns.append({QStringLiteral("COM%1").arg(port), FieldType::Boolean});
    columns.append({QStringLiteral("PHOTO"), FieldType::Blob});
    columns.append({QStringLiteral("MEMO"), FieldType::Text});
    return columns;
}

QVector<ColumnDecl> exportGroupColumns()
{
    return {{QStringLiteral("seq"), FieldType::AutoInc},          {QStringLiteral("id"), FieldType::Integer},
            {QStringLiteral("descx"), FieldType::Text},           {QStringLiteral("wd_from_1"), FieldType::DateTime},
            {QStringLiteral("wd_to_1"), FieldType::DateTime},     {QStringLiteral("wd_from_2"), FieldType::DateTime},
            {QStringLiteral("wd_to_2"), FieldType::DateTime},     {QStringLiteral("sat_enable_1"), FieldType::Boolean},
            {QStringLiteral("sat_from_1"), FieldType::DateTime},  {QStringLiteral("sat_to_1"), FieldType::DateTime},
            {QStringLiteral("sat_enable_2"), FieldType::Boolean}, {QStringLiteral("sat_from_2"), FieldType::DateTime},
            {QStringLiteral("sat_to_2"), FieldType::DateTime},    {QStringLiteral("ot_min"), FieldType::SmallInt},
            {QStringLiteral("ot_multi"), FieldType::SmallInt}};
}

Tdsrc::Tdsrc(QObject *parent)
    : QObject(parent),
      QGroup(&src, QStringLiteral("QGroup")),
      QStaff(&src, QStringLiteral("QStaff")),
      QList(&src, QStringLiteral("QList")),
      QAllStaff(&src, QStringLiteral("QAllStaff")),
      DbOut(&exp, QStringLiteral("DbOut")),
      DbGrp(&exp, QStringLiteral("DbGrp"))
{
    src.setRequiredTables({QStringLiteral("grptbl"), QStringLiteral("stafftbl"), QStringLiteral("param"),
                           QStringLiteral("fields")});
    QGroup.setSql(groupListSql());
    QGroup.setDeclaredColumns(groupColumns());
    QStaff.setSql({QStringLiteral("select * from stafftbl order by name")});
    QStaff.setDeclaredColumns(memberColumns());
    QList.setSql({QStringLiteral("select * from stafftbl"), QStringLiteral("left join grptbl"),
                  QStringLiteral("on stafftbl.gid=grptbl.gid"), QStringLiteral("order by name")});
    QList.setDeclaredColumns(joinedMemberColumns());
    QAllStaff.setSql(allMembersSql());
    QAllStaff.setDeclaredColumns(memberColumns());
    DbOut.setSql(exportStaffSql());
    DbOut.setDeclaredColumns(exportStaffColumns());
    DbGrp.setSql(exportGroupSql());
    DbGrp.setDeclaredColumns(exportGroupColumns());
}

Tdsrc::~Tdsrc()
{
    src.disconnect();
    exp.disconnect();
}

} // namespace tessary
