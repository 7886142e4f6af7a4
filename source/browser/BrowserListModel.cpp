#include "source/browser/BrowserListModel.h"

#include <numeric>

void BrowserListModel::setRows(BrowserRows rows) { setRows(sharedRows(std::move(rows))); }

void BrowserListModel::setRows(SharedBrowserRows rows)
{
    beginResetModel();
    rows_ = rows ? std::move(rows) : sharedRows({});
    endResetModel();
}

int BrowserListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_->rows.size());
}

Qt::ItemFlags BrowserListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid() || index.row() >= int(rows_->rows.size()))
        return Qt::NoItemFlags;
    const BrowserRow& row = rows_->rows[std::size_t(index.row())];
    if (row.isGroup || row.footerItem)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QVariant BrowserListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(rows_->rows.size()))
        return {};
    const BrowserRow& row = rows_->rows[std::size_t(index.row())];
    if (role == rowRole)
        return QVariant::fromValue(&row);
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return row.title;
    return {};
}

BrowserFilterModel::BrowserFilterModel(BrowserListModel* rows, QObject* parent) : QAbstractListModel(parent), rows_(rows)
{
    connect(rows_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(rows_, &QAbstractItemModel::modelReset, this, [this] {
        filter(false);
        endResetModel();
    });
    filter(false);
}

void BrowserFilterModel::setSearchString(const QString& searchString)
{
    const QString needle = searchNeedle(searchString);
    if (needle == needle_)
        return;
    const bool narrowing = !needle_.isEmpty() && needle.contains(needle_);
    needle_ = needle;
    beginResetModel();
    filter(narrowing);
    endResetModel();
}

void BrowserFilterModel::filter(bool narrowing)
{
    const BrowserRows& rows = rows_->rows();
    std::vector<int> shown;
    if (needle_.isEmpty()) {
        shown.resize(rows.size());
        std::iota(shown.begin(), shown.end(), 0);
        shown_ = std::move(shown);
        return;
    }
    const BrowserRowSet& set = rows_->rowSet();
    if (!narrowing) {
        shown_ = set.rowsContaining(needle_);
        return;
    }
    for (int index : shown_) {
        if (set.searchText(std::size_t(index)).contains(needle_))
            shown.push_back(index);
    }
    shown_ = std::move(shown);
}

const BrowserRow* BrowserFilterModel::rowAt(const QModelIndex& index)
{
    return index.isValid() ? index.data(BrowserListModel::rowRole).value<const BrowserRow*>() : nullptr;
}

const BrowserRow* BrowserFilterModel::rowAt(int row) const
{
    return row >= 0 && row < int(shown_.size()) ? &rows_->rows()[std::size_t(shown_[std::size_t(row)])] : nullptr;
}

int BrowserFilterModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(shown_.size());
}

QVariant BrowserFilterModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(shown_.size()))
        return {};
    return rows_->data(rows_->index(shown_[std::size_t(index.row())]), role);
}

Qt::ItemFlags BrowserFilterModel::flags(const QModelIndex& index) const
{
    if (!index.isValid() || index.row() >= int(shown_.size()))
        return Qt::NoItemFlags;
    return rows_->flags(rows_->index(shown_[std::size_t(index.row())]));
}
