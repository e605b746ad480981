#include "staffmodel.h"

#include "data/query.h"

namespace tessary {

QueryTableModel::QueryTableModel(Query *query, QVector<Column> columns, QObject *parent)
    : QAbstractTableModel(parent), m_query(query), m_columns(std::move(columns))
{
    connect(query, &Query::rowsReset, this, [this] {
        if (m_bulk)
            return;
        beginResetModel();
        endResetModel();
    });
    // Inserts and removals are followed one row at a time, so a view keeps
    // its selection and scroll position.
    connect(query, &Query::rowAboutToBeInserted, this, [this](int row) {
        if (!m_bulk)
            beginInsertRows({}, row, row);
    });
    connect(query, &Query::rowInserted, this, [this](int) {
        if (!m_bulk)
            endInsertRows();
    });
    connect(query, &Query::rowAboutToBeRemoved, this, [this](int row) {
        if (!m_bulk)
            beginRemoveRows({}, row, row);
    });
    connect(query, &Query::rowRemoved, this, [this](int) {
        if (!m_bulk)
            endRemoveRows();
    });
    connect(query, &Query::rowChanged, this, [this](int row) {
        if (!m_bulk && row >= 0 && row < rowCount())
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    });
}

QueryTableModel::BulkChange::BulkChange(QueryTableModel &model) : m_model(model)
{
    if (m_model.m_bulk++ == 0)
        m_model.beginResetModel();
}

QueryTableModel::BulkChange::~BulkChange()
{
    if (--m_model.m_bulk == 0)
        m_model.endResetModel();
}

int QueryTableModel::rowCount(const QModelIndex &parent) const
{
    // Nothing is shown while rows change in bulk.
    if (parent.isValid() || m_bulk || !m_query->isOpen())
        return 0;
    return m_query->recordCount();
}

int QueryTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant QueryTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    if (!m_query->isOpen() || index.row() >= m_query->recordCount())
        return {};
    try {
        const int column = m_query->columnIndex(m_columns.at(index.column()).field);
        if (column < 0)
            return {};
        const QVariant value = m_query->valueAt(index.row(), column);
        if (value.isNull())
            return {};
        return value.toString();
    } catch (...) {
        // A view must never throw into the event loop; an unreadable
        // cell shows empty.
        return {};
    }
}

QVariant QueryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole && section >= 0 && section < m_columns.size())
            return m_columns.at(section).title;
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
    }
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return {};
    return QAbstractTableModel::headerData(section, orientation, role);
}

} // namespace tessary
