#pragma once
// View-level additions: the per-window animated-drawing count, action
// routing through a view's controller, adding several subviews, and a layout
// that solves constraints.

#include "ZNTUtilities/LayoutConstraint.h"

#include <QLayout>
#include <QPointer>
#include <QWidget>

// Raise and lower the count on the view's window while the window's frame
// animates; views draw cheaply while it is above zero. An end without a
// start leaves the count at zero and answers false.
void tolvan_startAnimatedDrawing(QWidget* view);
bool tolvan_endAnimatedDrawing(QWidget* view);
bool tolvan_wantsAnimatedDrawing(const QWidget* view);

// Sends an action up from the view: a view controller's view asks its
// controller first; otherwise the first widget up the parents that has the
// invokable method (taking one QObject*) performs it.
bool tryToPerform(QWidget* from, const char* action, QObject* argument);

// A view whose controller answers the actions sent up through it.
class ViewControllerView : public QWidget {
    Q_OBJECT
public:
    explicit ViewControllerView(QObject* viewController = nullptr, QWidget* parent = nullptr);
    QObject* viewController() const { return viewController_; }

private:
    QPointer<QObject> viewController_;
};

// Adds each widget of the list to the view (in order); other objects are skipped.
void addSubviews(QWidget* view, const QList<QObject*>& subviews);

// Lays out its widget's children by constraints, solved at every resize.
class ConstraintLayout : public QLayout {
public:
    explicit ConstraintLayout(QWidget* parent);
    ~ConstraintLayout() override;
    void addConstraints(const QList<LayoutConstraint>& constraints);
    const QList<LayoutConstraint>& constraints() const { return constraints_; }

    void addItem(QLayoutItem* item) override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int count() const override { return int(items_.size()); }
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

private:
    QList<LayoutConstraint> constraints_;
    QList<QLayoutItem*> items_;
};

// Builds the list's constraints and installs them on the view's constraint
// layout (made when the view has none). False, with the error, when a
// format fails; nothing is installed then.
bool znt_addConstraintsWithVisualFormatsAndOptions(QWidget* view, const QList<LayoutItem>& items,
                                                   const QVariantMap& metrics, const QHash<QString, QObject*>& views,
                                                   tolvan::Error* error = nullptr);
