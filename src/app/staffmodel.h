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

    // While a command changes many rows (Delete All), the model follows
    // none of them one by one (a view's work per row grows with the rows
    // left) and is reset once when the command ends. Nests.
    class BulkChange
    {
    public:
        explicit BulkChange(QueryTableModel &model);
        ~BulkChange();
        BulkChange(const BulkChange &) = delete;
        BulkChange &operator=(const BulkChange &) = delete;

    private:
        QueryTableModel &m_model;
    };
    bool inBulkChange() const { return m_bulk > 0; }

private:
    Query *m_query;
    int m_bulk = 0;
    QVector<Column> m_columns;
};

} // namespace tessary
