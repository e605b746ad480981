#include "report/rowsource.h"

#include "data/errors.h"
#include "data/query.h"

namespace tessary {

void ListRowSource::next()
{
    if (m_current < m_rows.size())
        ++m_current;
}

void ListRowSource::moveTo(int row)
{
    if (row < 0 || row >= m_rows.size())
        throw Error(QStringLiteral("Row %1 is out of range").arg(row));
    m_current = row;
}

QString ListRowSource::text(const QString &column)
{
    const int index = int(m_columns.indexOf(column));
    if (index < 0)
        throw Error(QStringLiteral("Field '%1' not found").arg(column));
    if (eof())
        return {};
    const QVector<QVariant> &row = m_rows.at(m_current);
    return index < row.size() ? row.at(index).toString() : QString();
}

void QueryRowSource::first() { m_query.first(); }
void QueryRowSource::next() { m_query.next(); }
bool QueryRowSource::eof() const { return m_query.eof(); }
int QueryRowSource::rowIndex() const { return m_query.recNo(); }

void QueryRowSource::moveTo(int row)
{
    if (row < 0 || row >= m_query.recordCount())
        throw Error(QStringLiteral("Row %1 is out of range").arg(row));
    m_query.setRecNo(row);
}

QString QueryRowSource::text(const QString &column)
{
    Field field = m_query.fieldByName(column);
    if (m_query.isEmpty())
        return {};
    return field.text();
}

} // namespace tessary
