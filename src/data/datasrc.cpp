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
}

Tdsrc::~Tdsrc()
{
    src.disconnect();
    exp.disconnect();
}

} // namespace tessary
