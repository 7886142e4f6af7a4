#pragma once
// The rows of one browser list and the filter over them. The model holds the
// rows as built (already in their order); the filter keeps the rows whose
// indexed text holds the search string, a plain substring, never a pattern.

#include "source/browser/BrowserRow.h"

#include <QAbstractListModel>
#include <QStringView>

class BrowserListModel : public QAbstractListModel {
    Q_OBJECT
public:
    // Answers the row's BrowserRow* under this role.
    static constexpr int rowRole = Qt::UserRole + 1;

    using QAbstractListModel::QAbstractListModel;

    void setRows(BrowserRows rows);
    // Rows shared with other lists (a library's listing): never copied.
    void setRows(SharedBrowserRows rows);
    const BrowserRows& rows() const { return rows_->rows; }
    const BrowserRowSet& rowSet() const { return *rows_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    // Group headings and footer buttons cannot be selected.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    SharedBrowserRows rows_ = sharedRows({});
};

// The rows whose indexed text holds the search string, in the rows' order.
// Typing on (a string holding the last one) only narrows the rows shown.
class BrowserFilterModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit BrowserFilterModel(BrowserListModel* rows, QObject* parent = nullptr);

    // Null or empty shows every row.
    void setSearchString(const QString& searchString);
    const QString& needle() const { return needle_; }

    // The row behind a row of this model (or of the rows model), or null.
    static const BrowserRow* rowAt(const QModelIndex& index);
    const BrowserRow* rowAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void filter(bool narrowing);

    BrowserListModel* rows_;
    QString needle_;
    std::vector<int> shown_;  // indexes into the rows
};

Q_DECLARE_METATYPE(const BrowserRow*)
