#pragma once
// The table of the browser lists: one column of rows drawn by a browser cell,
// painted in two alternating colours with thin separator lines of its own.
// Return, Enter, the space bar and the right arrow open the selected row; the
// space bar goes to the host first while the host wants it (play or preview);
// the left arrow and context-menu requests go to the table's delegate, the
// list that owns it. The other arrow keys step over rows that cannot be
// selected (group headings, a footer).

#include "source/browser/BrowserCells.h"
#include "source/browser/BrowserHost.h"
#include "source/browser/BrowserListModel.h"

#include <QAbstractItemDelegate>
#include <QListView>
#include <QPointer>

#include <functional>

class QMenu;

class BrowserTableDelegate {
public:
    virtual ~BrowserTableDelegate() = default;
    // The context menu for a point of the table's viewport, or null for none.
    virtual QMenu* tableMenuForPoint(const QPoint&) { return nullptr; }
    virtual void moveLeft() {}
};

// Draws each row with its cell, over the selection's fill when selected.
class BrowserItemDelegate : public QAbstractItemDelegate {
    Q_OBJECT
public:
    explicit BrowserItemDelegate(QObject* parent = nullptr) : QAbstractItemDelegate(parent) {}

    std::function<BrowserCell*(const BrowserRow&)> cellForRow;
    std::function<int(const BrowserRow&)> heightOfRow;

    BrowserCell* cellFor(const BrowserRow& row) const { return cellForRow ? cellForRow(row) : nullptr; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class SimpleBrowserTable : public QListView {
    Q_OBJECT
    Q_PROPERTY(QColor primaryColor READ primaryColor WRITE setPrimaryColor)
    Q_PROPERTY(QColor secondaryColor READ secondaryColor WRITE setSecondaryColor)
public:
    enum class GridStyle { none, solidHorizontal };

    explicit SimpleBrowserTable(BrowserHost* host, QWidget* parent = nullptr);

    // The background and odd rows; the even rows (0, 2, ...).
    QColor primaryColor() const { return primaryColor_; }
    void setPrimaryColor(const QColor& color);
    QColor secondaryColor() const { return secondaryColor_; }
    void setSecondaryColor(const QColor& color);

    bool alternatingRows() const { return alternatingRows_; }
    void setAlternatingRows(bool on);
    GridStyle gridStyle() const { return gridStyle_; }
    void setGridStyle(GridStyle style);

    // The one cell of every row, at one height (setItemDelegate for more).
    void setCell(BrowserCell* cell, int rowHeight);
    BrowserItemDelegate* browserDelegate() const { return delegate_; }

    // What opening a row does: called with the clicked row, or with the
    // selected row when a key opens it.
    void setAction(std::function<void(int row)> action) { action_ = std::move(action); }
    void setTableDelegate(BrowserTableDelegate* delegate) { tableDelegate_ = delegate; }

    int selectedRow() const;
    void selectRow(int row);
    bool isRowSelected(int row) const;
    // Group headings and footers cannot be selected.
    bool isRowSelectable(int row) const;

    // What a click on the row does, and a key or a screen reader's press
    // too: without an action nothing; else the row is selected (when it can
    // be) and the action runs.
    void pressRow(int row);

    // Opens the selected row when the table has the focus, an action and a
    // selected row; answers whether it did.
    bool performActionIfFirstResponder();
    // The delegate's menu for the point (viewport coordinates), or null.
    QMenu* menuForPoint(const QPoint& point);

    // The separator lines of one unselected row (y down): white along the top
    // pixel row, a faint black along the bottom one.
    struct RowLines {
        QRectF top, bottom;
    };
    static RowLines rowLines(const QRectF& rowRect);
    // The fill of an unselected row with alternating colours on.
    QColor rowFill(int row) const { return row % 2 == 1 ? primaryColor_ : secondaryColor_; }

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:

    BrowserHost* host_;
    BrowserItemDelegate* delegate_;
    BrowserTableDelegate* tableDelegate_ = nullptr;
    std::function<void(int row)> action_;
    QColor primaryColor_;
    QColor secondaryColor_;
    bool alternatingRows_ = false;
    GridStyle gridStyle_ = GridStyle::none;
};
