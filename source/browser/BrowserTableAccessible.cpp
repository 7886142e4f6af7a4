#include "source/browser/BrowserTableAccessible.h"

#include "source/browser/SimpleBrowserTable.h"

namespace {

QAccessibleInterface* browserTableFactory(const QString& className, QObject* object)
{
    if (className != QLatin1String("SimpleBrowserTable"))
        return nullptr;
    auto* table = qobject_cast<SimpleBrowserTable*>(object);
    return table ? new BrowserTableAccessible(table) : nullptr;
}

}  // namespace

// ---- BrowserTableAccessible ----

BrowserTableAccessible::BrowserTableAccessible(SimpleBrowserTable* table) : QAccessibleWidget(table, QAccessible::List) {}

void BrowserTableAccessible::installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(&browserTableFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

SimpleBrowserTable* BrowserTableAccessible::table() const { return static_cast<SimpleBrowserTable*>(widget()); }

int BrowserTableAccessible::childCount() const
{
    return table()->model() ? table()->model()->rowCount() : 0;
}

QAccessibleInterface* BrowserTableAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    return rows_.part(index, [&] { return new BrowserRowAccessible(table(), index); });
}

int BrowserTableAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* row = dynamic_cast<const BrowserRowAccessible*>(child);
    return row && row->isValid() && row->parent() == this ? row->row() : -1;
}

QAccessibleInterface* BrowserTableAccessible::childAt(int x, int y) const
{
    const QPoint point = table()->viewport()->mapFromGlobal(QPoint(x, y));
    const QModelIndex index = table()->indexAt(point);
    return index.isValid() ? child(index.row()) : nullptr;
}

QAccessibleInterface* BrowserTableAccessible::focusChild() const
{
    const QModelIndex current = table()->currentIndex();
    return table()->hasFocus() && current.isValid() ? child(current.row()) : nullptr;
}

// ---- BrowserRowAccessible ----

BrowserRowAccessible::BrowserRowAccessible(SimpleBrowserTable* table, int row) : table_(table), row_(row) {}

bool BrowserRowAccessible::isValid() const
{
    return table_ && table_->model() && row_ < table_->model()->rowCount();
}

QWindow* BrowserRowAccessible::window() const
{
    return table_ ? table_->window()->windowHandle() : nullptr;
}

QAccessibleInterface* BrowserRowAccessible::parent() const
{
    return table_ ? QAccessible::queryAccessibleInterface(table_.data()) : nullptr;
}

QString BrowserRowAccessible::text(QAccessible::Text t) const
{
    if (!isValid())
        return {};
    switch (t) {
    case QAccessible::Name:
    case QAccessible::Value: {
        const BrowserRow* row = BrowserFilterModel::rowAt(table_->model()->index(row_, 0));
        const BrowserCell* cell = row ? table_->browserDelegate()->cellFor(*row) : nullptr;
        return cell ? cell->accessibilityValue(*row) : QString();
    }
    case QAccessible::Description: return roleDescription;
    default: return {};
    }
}

QRect BrowserRowAccessible::rect() const
{
    if (!isValid())
        return {};
    const QRect rect = table_->visualRect(table_->model()->index(row_, 0));
    return rect.translated(table_->viewport()->mapToGlobal(QPoint(0, 0)));
}

QAccessible::State BrowserRowAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    // A heading is read, not chosen: the arrow keys step over it.
    state.selectable = table_->isRowSelectable(row_);
    state.focusable = state.selectable;
    state.selected = table_->isRowSelected(row_);
    state.focused = table_->hasFocus() && table_->currentIndex().row() == row_;
    if (!table_->viewport()->rect().intersects(table_->visualRect(table_->model()->index(row_, 0))))
        state.offscreen = true;
    return state;
}

QString BrowserRowAccessible::localizedActionDescription(const QString& name) const
{
    return name == pressAction() ? pressDescription : QAccessibleActionInterface::localizedActionDescription(name);
}

void BrowserRowAccessible::doAction(const QString& name)
{
    if (name == pressAction() && isValid())
        table_->pressRow(row_);
}
