#include "ZNTUtilities/widgets/ControlAccessibility.h"

#include "ZNTUtilities/widgets/DarkControls.h"

#include "ZNTUtilities/FocusRing.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QPainter>

namespace {

QAccessibleInterface* controlFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("DarkSegmentedControl"))
        return new SegmentedControlAccessible(static_cast<DarkSegmentedControl*>(object));
    if (className == QLatin1String("DarkPopupButton"))
        return new PopupButtonAccessible(static_cast<DarkPopupButton*>(object));
    // Asked only for widgets no class of their own presents.
    if (className == QLatin1String("QWidget") && object->isWidgetType() && static_cast<QWidget*>(object)->focusProxy())
        return new FocusProxiedAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

}  // namespace

FocusRingOverlay* FocusRingOverlay::attach(QAbstractScrollArea* view) { return new FocusRingOverlay(view); }

FocusRingOverlay::FocusRingOverlay(QAbstractScrollArea* view) : QWidget(view), view_(view)
{
    installControlAccessibility();  // its visible area reports no focus of its own
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    place();
    show();
}

void FocusRingOverlay::place()
{
    setGeometry(view_->viewport()->geometry());
    raise();
}

bool FocusRingOverlay::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        if (watched == view_)
            update();
        break;
    case QEvent::Resize:
    case QEvent::Move:
    case QEvent::LayoutRequest:
        place();
        break;
    case QEvent::ChildAdded:
        if (watched == view_)
            raise();  // stays above a viewport set later
        break;
    default:
        break;
    }
    return false;
}

void FocusRingOverlay::paintEvent(QPaintEvent*)
{
    if (!view_->hasFocus())
        return;
    QPainter painter(this);
    FocusRing::draw(painter, QRectF(rect()), 3);
}

void installControlAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(&controlFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void announceSegmentChosen(DarkSegmentedControl* control, int segment)
{
    if (!QAccessible::isActive())
        return;
    QAccessible::State checked;
    checked.checked = true;
    QAccessibleStateChangeEvent change(control, checked);
    change.setChild(segment);
    QAccessible::updateAccessibility(&change);
    if (control->hasFocus()) {
        QAccessibleEvent focus(control, QAccessible::Focus);
        focus.setChild(segment);
        QAccessible::updateAccessibility(&focus);
    }
}

// ---- SegmentedControlAccessible ----

SegmentedControlAccessible::SegmentedControlAccessible(DarkSegmentedControl* control) : QAccessibleWidget(control, QAccessible::Grouping) {}

DrawnParts::~DrawnParts()
{
    for (const QAccessible::Id id : std::as_const(ids_))
        QAccessible::deleteAccessibleInterface(id);
}

int DrawnParts::indexOf(const QAccessibleInterface* part) const
{
    for (auto it = ids_.cbegin(); it != ids_.cend(); ++it)
        if (QAccessible::accessibleInterface(it.value()) == part)
            return it.key();
    return -1;
}

DarkSegmentedControl* SegmentedControlAccessible::control() const { return static_cast<DarkSegmentedControl*>(widget()); }

int SegmentedControlAccessible::childCount() const { return control()->segmentCount(); }

QAccessibleInterface* SegmentedControlAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    return segments_.part(index, [&] { return new SegmentAccessible(control(), index); });
}

int SegmentedControlAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    return segments_.indexOf(child);
}

QAccessibleInterface* SegmentedControlAccessible::childAt(int x, int y) const
{
    const QPoint point = control()->mapFromGlobal(QPoint(x, y));
    return child(control()->cell().segmentAtPoint(point, control()->rect()));
}

QAccessibleInterface* SegmentedControlAccessible::focusChild() const
{
    return control()->hasFocus() ? child(control()->selectedSegment()) : nullptr;
}

QAccessible::State SegmentedControlAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.focused = false;
    return state;
}

QAccessible::State FocusProxiedAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.focused = false;
    state.focusable = false;
    return state;
}

// ---- SegmentAccessible ----

SegmentAccessible::SegmentAccessible(DarkSegmentedControl* control, int segment) : control_(control), segment_(segment) {}

bool SegmentAccessible::isValid() const { return control_ && segment_ < control_->segmentCount(); }

QWindow* SegmentAccessible::window() const { return control_ && control_->window() ? control_->window()->windowHandle() : nullptr; }

QAccessibleInterface* SegmentAccessible::parent() const { return control_ ? QAccessible::queryAccessibleInterface(control_) : nullptr; }

QString SegmentAccessible::text(QAccessible::Text t) const
{
    if (!isValid())
        return {};
    switch (t) {
    case QAccessible::Name:
        return control_->segmentAccessibleName(segment_);
    case QAccessible::Description:
        return control_->segmentToolTip(segment_);
    default:
        return {};
    }
}

QRect SegmentAccessible::rect() const
{
    if (!isValid())
        return {};
    const QRect local = control_->segmentRect(segment_);
    return {control_->mapToGlobal(local.topLeft()), local.size()};
}

QAccessible::State SegmentAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    const bool chosen = control_->selectedSegment() == segment_;
    state.checkable = true;
    state.checked = chosen;
    state.focusable = true;
    state.focused = chosen && control_->hasFocus();
    state.disabled = !control_->isEnabled();
    state.invisible = !control_->isVisible();
    return state;
}

void SegmentAccessible::doAction(const QString& name)
{
    if (name == pressAction() && isValid() && control_->isEnabled())
        control_->setSelectedSegment(segment_);
}

// ---- PopupButtonAccessible ----

PopupButtonAccessible::PopupButtonAccessible(DarkPopupButton* popup) : QAccessibleWidget(popup, QAccessible::ComboBox) {}

DarkPopupButton* PopupButtonAccessible::popup() const { return static_cast<DarkPopupButton*>(widget()); }

QString PopupButtonAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return popup()->currentText();
    if (t == QAccessible::Name && popup()->accessibleName().isEmpty())
        return popup()->currentText();
    return QAccessibleWidget::text(t);
}

// The list of items, as the toolkit's own combo boxes give it.
int PopupButtonAccessible::childCount() const { return 1; }

QAccessibleInterface* PopupButtonAccessible::child(int index) const
{
    return index == 0 ? QAccessible::queryAccessibleInterface(popup()->view()) : nullptr;
}

int PopupButtonAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    return child && child->object() == popup()->view() ? 0 : -1;
}

QStringList PopupButtonAccessible::actionNames() const { return {showMenuAction(), pressAction()}; }

void PopupButtonAccessible::doAction(const QString& name)
{
    if (name == showMenuAction() || name == pressAction())
        popup()->showPopup();
}
