#include "source/browser/BrowserListModel.h"

void BrowserListModel::setRows(BrowserRows rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int BrowserListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

Qt::ItemFlags BrowserListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid() || index.row() >= int(rows_.size()))
        return Qt::NoItemFlags;
    const BrowserRow& row = rows_[std::size_t(index.row())];
    if (row.flag(QStringLiteral("isGroup")) || row.flag(QStringLiteral("footerItem")))
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QVariant BrowserListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(rows_.size()))
        return {};
    const BrowserRow& row = rows_[std::size_t(index.row())];
    if (role == rowRole)
        return QVariant::fromValue(&row);
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return row.track() ? row.string(QStringLiteral("title")) : row.values().value(QStringLiteral("title"), row.values().value(QStringLiteral("Album"))).toString();
    return {};
}

BrowserFilterModel::BrowserFilterModel(BrowserListModel* rows, QObject* parent) : QSortFilterProxyModel(parent), rows_(rows)
{
    setSourceModel(rows);
    setDynamicSortFilter(false);
}

void BrowserFilterModel::setSearchString(const QString& searchString)
{
    const QString needle = searchNeedle(searchString);
    if (needle == needle_)
        return;
    needle_ = needle;
    invalidateRowsFilter();
}

const BrowserRow* BrowserFilterModel::rowAt(const QModelIndex& index)
{
    return index.isValid() ? index.data(BrowserListModel::rowRole).value<const BrowserRow*>() : nullptr;
}

bool BrowserFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    return rowMatches(rows_->rows()[std::size_t(sourceRow)], needle_);
}
