#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace tessary {

class Query;

// The rows a report walks. Laying out moves from the first row to the last
// once; painting a page later moves straight to the rows placed on it (see
// Report), so a source must allow going back to any row it has served.
class RowSource
{
public:
    virtual ~RowSource() = default;

    // To the first row; eof() at once when there are no rows.
    virtual void first() = 0;
    // To the next row; eof() after the last.
    virtual void next() = 0;
    // Past the last row (or no rows at all).
    virtual bool eof() const = 0;
    // The 0-based index of the current row.
    virtual int rowIndex() const = 0;
    // Makes row `row` (0-based, as rowIndex() answered it) current again.
    virtual void moveTo(int row) = 0;
    // The value of column `column` of the current row as the text a data
    // text prints: empty for an empty value. Throws tessary::Error naming
    // the column when the source has no such column.
    virtual QString text(const QString &column) = 0;
};

// Rows held in memory: a list of column names and rows of values (shown
// with QVariant::toString()). For reports that are not drawn from the card
// database, and for tests.
class ListRowSource : public RowSource
{
public:
    ListRowSource() = default;
    ListRowSource(const QStringList &columns, const QVector<QVector<QVariant>> &rows)
        : m_columns(columns), m_rows(rows)
    {
    }

    void setColumns(const QStringList &columns) { m_columns = columns; }
    void appendRow(const QVector<QVariant> &values) { m_rows.append(values); }
    int rowCount() const { return int(m_rows.size()); }

    void first() override { m_current = 0; }
    void next() override;
    bool eof() const override { return m_current >= m_rows.size(); }
    int rowIndex() const override { return m_current; }
    void moveTo(int row) override;
    QString text(const QString &column) override;

private:
    QStringList m_columns;
    QVector<QVector<QVariant>> m_rows;
    int m_current = 0;
};

// Serves an open query of the card database. The query is neither opened
// nor closed here; a date prints as the desktop shows it (the short date),
// an empty value as nothing. Unknown column names fail naming the field.
class QueryRowSource : public RowSource
{
public:
    explicit QueryRowSource(Query &query) : m_query(query) {}

    Query &query() const { return m_query; }

    void first() override;
    void next() override;
    bool eof() const override;
    int rowIndex() const override;
    void moveTo(int row) override;
    QString text(const QString &column) override;

private:
    Query &m_query;
};

} // namespace tessary
