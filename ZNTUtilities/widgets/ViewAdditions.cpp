#include "ZNTUtilities/widgets/ViewAdditions.h"

#include <QDebug>
#include <QMetaMethod>

namespace {

constexpr const char* animatedDrawingKey = "tolvan_animatedDrawing";

int animatedDrawingCount(const QWidget* window)
{
    return window ? window->property(animatedDrawingKey).toInt() : 0;
}

bool perform(QObject* target, const char* action, QObject* argument)
{
    if (!target)
        return false;
    const QByteArray signature = QByteArray(action) + "(QObject*)";
    if (target->metaObject()->indexOfMethod(signature.constData()) < 0)
        return false;
    return QMetaObject::invokeMethod(target, action, Q_ARG(QObject*, argument));
}

}  // namespace

void tolvan_startAnimatedDrawing(QWidget* view)
{
    QWidget* window = view->window();
    window->setProperty(animatedDrawingKey, animatedDrawingCount(window) + 1);
}

bool tolvan_endAnimatedDrawing(QWidget* view)
{
    QWidget* window = view->window();
    const int count = animatedDrawingCount(window);
    if (count == 0) {
        qWarning() << "tolvan_endAnimatedDrawing called without matching tolvan_startAnimatedDrawing";
        return false;
    }
    window->setProperty(animatedDrawingKey, count - 1);
    return true;
}

bool tolvan_wantsAnimatedDrawing(const QWidget* view)
{
    return view && animatedDrawingCount(view->window()) != 0;
}

bool tryToPerform(QWidget* from, const char* action, QObject* argument)
{
    for (QWidget* w = from; w; w = w->parentWidget()) {
        if (auto* controllerView = qobject_cast<ViewControllerView*>(w)) {
            if (perform(controllerView->viewController(), action, argument))
                return true;
        }
        if (perform(w, action, argument))
            return true;
    }
    return false;
}

ViewControllerView::ViewControllerView(QObject* viewController, QWidget* parent)
    : QWidget(parent), viewController_(viewController)
{
}

void addSubviews(QWidget* view, const QList<QObject*>& subviews)
{
    for (QObject* object : subviews) {
        if (auto* widget = qobject_cast<QWidget*>(object)) {
            widget->setParent(view);
            widget->show();
        }
    }
}

ConstraintLayout::ConstraintLayout(QWidget* parent) : QLayout(parent)
{
    setContentsMargins(0, 0, 0, 0);
}

ConstraintLayout::~ConstraintLayout()
{
    qDeleteAll(items_);
}

void ConstraintLayout::addConstraints(const QList<LayoutConstraint>& constraints)
{
    constraints_.append(constraints);
    for (const LayoutConstraint& c : constraints) {
        for (QObject* item : {c.firstItem, c.secondItem}) {
            auto* widget = qobject_cast<QWidget*>(item);
            if (!widget || widget == parentWidget())
                continue;
            const bool known = std::any_of(items_.cbegin(), items_.cend(), [&](QLayoutItem* i) { return i->widget() == widget; });
            if (!known)
                addChildWidget(widget), items_.append(new QWidgetItem(widget));
        }
    }
    invalidate();
}

void ConstraintLayout::addItem(QLayoutItem* item)
{
    items_.append(item);
}

QLayoutItem* ConstraintLayout::itemAt(int index) const
{
    return index >= 0 && index < items_.size() ? items_[index] : nullptr;
}

QLayoutItem* ConstraintLayout::takeAt(int index)
{
    return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

QSize ConstraintLayout::sizeHint() const
{
    QRect bounds;
    for (QLayoutItem* item : items_)
        bounds |= QRect(QPoint(), item->sizeHint());
    return bounds.size();
}

void ConstraintLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    LayoutConstraints::SolverItems measures;
    measures.intrinsicSize = [](QObject* item) {
        auto* widget = qobject_cast<QWidget*>(item);
        return widget ? QSizeF(widget->sizeHint().expandedTo(QSize(0, 0))) : QSizeF();
    };
    measures.baselineOffset = [](QObject* item) {
        auto* widget = qobject_cast<QWidget*>(item);
        if (!widget)
            return 0.0;
        // Text sits centred in the controls: the baseline lies half the
        // text's height below the middle, less the descent.
        const QFontMetricsF metrics(widget->font());
        return widget->sizeHint().height() / 2.0 + (metrics.ascent() - metrics.descent()) / 2;
    };
    const auto frames = LayoutConstraints::solve(constraints_, parentWidget(), rect.size(), measures);
    for (auto it = frames.cbegin(); it != frames.cend(); ++it) {
        if (auto* widget = qobject_cast<QWidget*>(it.key()))
            widget->setGeometry(it->translated(rect.topLeft()).toRect());
    }
}

bool znt_addConstraintsWithVisualFormatsAndOptions(QWidget* view, const QList<LayoutItem>& items,
                                                   const QVariantMap& metrics, const QHash<QString, QObject*>& views,
                                                   tolvan::Error* error)
{
    const auto constraints = LayoutConstraints::constraintsWithVisualFormatsAndOptions(items, metrics, views, error);
    if (!constraints)
        return false;
    auto* layout = dynamic_cast<ConstraintLayout*>(view->layout());
    if (!layout)
        layout = new ConstraintLayout(view);
    layout->addConstraints(*constraints);
    return true;
}
