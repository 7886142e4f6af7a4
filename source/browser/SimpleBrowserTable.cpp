#include "source/browser/SimpleBrowserTable.h"

#include "source/browser/BrowserTableAccessible.h"
#include "ZNTUtilities/widgets/ControlAccessibility.h"
#include "ZNTUtilities/UIColorManager.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>

namespace {

bool isModifierKey(int key)
{
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta || key == Qt::Key_AltGr ||
           key == Qt::Key_CapsLock;
}

}  // namespace

void BrowserItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const BrowserRow* row = BrowserFilterModel::rowAt(index);
    BrowserCell* cell = row ? cellFor(*row) : nullptr;
    if (!cell)
        return;
    const bool selected = option.state & QStyle::State_Selected;
    if (selected) {
        // The selection of a source list: a blue band, lighter at the top.
        const QColor base = QColor::fromRgbF(0.16f, 0.45f, 0.85f);
        QLinearGradient fill(option.rect.topLeft(), option.rect.bottomLeft());
        fill.setColorAt(0, base.lighter(118));
        fill.setColorAt(1, base);
        painter->fillRect(option.rect, fill);
        painter->fillRect(QRect(option.rect.left(), option.rect.top(), option.rect.width(), 1), base.lighter(130));
    }
    cell->draw(*painter, QRectF(option.rect), *row, {selected, selected});
}

QSize BrowserItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const BrowserRow* row = BrowserFilterModel::rowAt(index);
    return {option.rect.width(), row && heightOfRow ? heightOfRow(*row) : 24};
}

SimpleBrowserTable::SimpleBrowserTable(BrowserHost* host, QWidget* parent)
    : QListView(parent), host_(host), delegate_(new BrowserItemDelegate(this)), primaryColor_(palette().color(QPalette::Base))
{
    setItemDelegate(delegate_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    viewport()->setAutoFillBackground(false);
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            pressRow(index.row());
    });
    BrowserTableAccessible::installFactory();
    FocusRingOverlay::attach(this);
}

void SimpleBrowserTable::setPrimaryColor(const QColor& color)
{
    primaryColor_ = color;
    viewport()->update();
}

void SimpleBrowserTable::setSecondaryColor(const QColor& color)
{
    secondaryColor_ = color;
    viewport()->update();
}

void SimpleBrowserTable::setAlternatingRows(bool on)
{
    alternatingRows_ = on;
    viewport()->update();
}

void SimpleBrowserTable::setGridStyle(GridStyle style)
{
    gridStyle_ = style;
    viewport()->update();
}

void SimpleBrowserTable::setCell(BrowserCell* cell, int rowHeight)
{
    delegate_->cellForRow = [cell](const BrowserRow&) { return cell; };
    delegate_->heightOfRow = [rowHeight](const BrowserRow&) { return rowHeight; };
    connect(cell, &BrowserCell::appearanceChanged, viewport(), qOverload<>(&QWidget::update));
    setUniformItemSizes(true);
}

int SimpleBrowserTable::selectedRow() const
{
    if (!selectionModel())
        return -1;
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void SimpleBrowserTable::selectRow(int row)
{
    const QModelIndex index = model() ? model()->index(row, 0) : QModelIndex();
    if (!index.isValid()) {
        clearSelection();
        return;
    }
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

bool SimpleBrowserTable::isRowSelected(int row) const
{
    return selectionModel() && model() && selectionModel()->isSelected(model()->index(row, 0));
}

bool SimpleBrowserTable::isRowSelectable(int row) const
{
    return model() && model()->flags(model()->index(row, 0)).testFlag(Qt::ItemIsSelectable);
}

QModelIndex SimpleBrowserTable::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex proposed = QListView::moveCursor(action, modifiers);
    if (!proposed.isValid() || isRowSelectable(proposed.row()))
        return proposed;
    // Go on past the rows that cannot be selected: up for the keys that move
    // up and for End (the last row), down for the others. With no row to
    // stand on that way, the cursor stays where it is.
    const bool upward = action == MoveUp || action == MovePageUp || action == MovePrevious || action == MoveEnd;
    const int step = upward ? -1 : 1;
    for (int row = proposed.row() + step; row >= 0 && row < model()->rowCount(); row += step) {
        if (isRowSelectable(row))
            return model()->index(row, 0);
    }
    return currentIndex();
}

bool SimpleBrowserTable::performActionIfFirstResponder()
{
    if (!hasFocus() || !action_ || selectedRow() < 0)
        return false;
    pressRow(selectedRow());
    return true;
}

void SimpleBrowserTable::pressRow(int row)
{
    if (!action_)
        return;
    if (isRowSelectable(row))
        selectRow(row);
    action_(row);
}

QMenu* SimpleBrowserTable::menuForPoint(const QPoint& point)
{
    return tableDelegate_ ? tableDelegate_->tableMenuForPoint(point) : nullptr;
}

SimpleBrowserTable::RowLines SimpleBrowserTable::rowLines(const QRectF& r)
{
    return {{r.x(), r.y(), r.width(), 1}, {r.x(), r.y() + r.height() - 1, r.width(), 1}};
}

void SimpleBrowserTable::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(viewport());
        painter.fillRect(event->rect(), primaryColor_);
        const int rows = model() ? model()->rowCount() : 0;
        const QModelIndex first = indexAt(event->rect().topLeft());
        for (int row = first.isValid() ? first.row() : 0; row < rows; ++row) {
            const QRect rect = visualRect(model()->index(row, 0)).adjusted(0, 0, viewport()->width(), 0);
            if (rect.top() > event->rect().bottom())
                break;
            if (isRowSelected(row))
                continue;
            if (alternatingRows_)
                painter.fillRect(rect, rowFill(row));
            if (gridStyle_ == GridStyle::solidHorizontal) {
                const RowLines lines = rowLines(QRectF(0, rect.y(), viewport()->width(), rect.height()));
                painter.fillRect(lines.top, greyColor(1, 0.4f));
                painter.fillRect(lines.bottom, greyColor(0, 0.04f));
            }
        }
    }
    QListView::paintEvent(event);
}

void SimpleBrowserTable::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (isModifierKey(key)) {
        if (host_)
            host_->flagsChanged(event->modifiers());
        return;
    }
    const bool space = key == Qt::Key_Space;
    if (space && host_ && host_->wantsToHandleSpacebar() && host_->handleSpacebarKey(*event))
        return;
    if ((space || key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Right) && performActionIfFirstResponder())
        return;
    if ((key == Qt::Key_Down || key == Qt::Key_Up) && selectedRow() < 0) {
        // With no row selected an arrow starts at the top, on the first row
        // that can be chosen. The cursor may stand on a row all the same (the
        // focus puts it on the first row of a list just pushed, and a
        // selection cleared for another song leaves it), and stepping on from
        // there would pass that row over, or never select an only row.
        for (int row = 0; model() && row < model()->rowCount(); ++row) {
            if (isRowSelectable(row)) {
                selectRow(row);
                break;
            }
        }
        return;
    }
    if (key == Qt::Key_Left) {
        if (tableDelegate_)
            tableDelegate_->moveLeft();
        return;
    }
    QListView::keyPressEvent(event);
}

void SimpleBrowserTable::keyReleaseEvent(QKeyEvent* event)
{
    if (isModifierKey(event->key())) {
        if (host_)
            host_->flagsChanged(event->modifiers());
        return;
    }
    QListView::keyReleaseEvent(event);
}

void SimpleBrowserTable::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu(menuForPoint(event->pos()));
    if (menu)
        menu->exec(event->globalPos());
}
