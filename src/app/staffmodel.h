#pragma once

#include <QAbstractTableModel>
#include <QStringList>

namespace tessary {

class Query;

// Shows chosen columns of a query as a read-only table. Rows are the
// query's rows in its order; the model follows the query's opens, closes,
// inserts, deletes and posts.
class QueryTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    struct Column
    {
        QString field;
        QString title;
    };

    QueryTableModel(Query *query, QVector<Column> columns, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    QString fieldName(int column) const { return m_columns.at(column).field; }
    Query *query() const { return m_query; }

private:
    Query *m_query;
    QVector<Column> m_columns;
};

} // namespace tessary
