#pragma once
// The stack of browser lists. One list shows at a time under a thin bar with a
// back button (titled after the list below) and the visible list's title.
// Pushing slides the new list in from the right, popping slides back, each in
// 250 ms; a push or pop during a slide first finishes the running one. Every
// list derives from NavigationViewController, whose hooks the stack calls as
// lists are covered and uncovered.

#include "source/browser/BrowserHost.h"

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class NavigationController;
class QLabel;
class QParallelAnimationGroup;
class SimpleNavigatorHeader;
class ZNTButton;

class NavigationViewController : public QObject {
    Q_OBJECT
public:
    explicit NavigationViewController(QObject* parent = nullptr) : QObject(parent) {}
    ~NavigationViewController() override;

    // The list's view, made on first use.
    QWidget* view();
    bool isViewLoaded() const { return view_ != nullptr; }

    QString title() const { return title_; }
    virtual void setTitle(const QString& title) { title_ = title; }

    NavigationController* navigationController() const { return navigationController_; }

    // True when the window's focus lies in this list's view.
    bool containsFirstResponder() const;
    virtual void restoreFirstResponder();
    // The left arrow: back to the list below.
    virtual void moveLeft();

    virtual void controllerWillBecomeVisible() {}
    virtual void controllerDidBecomeVisible() {}
    virtual void controllerWillBecomeHidden() {}

    // Lists that filter themselves answer true and take the search string.
    virtual bool filtersBySearchString() const { return false; }
    virtual void setSearchString(const QString&) {}
    // The source the host has open, to keep the list's selection in step.
    virtual void selectionChangedTo(const TolvanSourcePtr&) {}

signals:
    // Empties the pane's search field, or puts the list's own filter back.
    void clearSearchStringRequested();
    void restoreSearchStringRequested(const QString& searchString);

protected:
    virtual QWidget* loadView() = 0;

private:
    friend class NavigationController;
    QPointer<QWidget> view_;
    QString title_;
    NavigationController* navigationController_ = nullptr;
};

using NavigationViewControllerPtr = std::shared_ptr<NavigationViewController>;

// Where the back button and the title go in the bar (bar coordinates, y down).
struct NavigationBarLayout {
    std::optional<QRectF> backButton;
    std::optional<QRectF> title;
};
// barSize: the bar; titleWidth: the title's natural width, none without a
// title; backWidth: the back button title's natural width, none without a
// button. The title is centred and kept 5 points from either edge; a back
// button that does not fit beside it pushes it right, and when that is not
// enough the button shrinks (to no less than 56 points).
NavigationBarLayout layoutNavigationBar(QSizeF barSize, std::optional<qreal> titleWidth, std::optional<qreal> backWidth);

class NavigationController : public QWidget {
    Q_OBJECT
public:
    enum class Slide { none, fromRight, fromLeft };
    static constexpr int slideMilliseconds = 250;
    static constexpr int barHeight = 30;

    explicit NavigationController(QWidget* parent = nullptr);
    ~NavigationController() override;

    void pushViewController(NavigationViewControllerPtr controller, bool animated);
    // The removed list, or null: the root is never popped.
    NavigationViewControllerPtr popViewControllerAnimated(bool animated);
    // The removed lists, bottom first; empty when target is not on the stack
    // or is already on top.
    std::vector<NavigationViewControllerPtr> popToViewController(NavigationViewController* target, bool animated);

    const std::vector<NavigationViewControllerPtr>& viewControllers() const { return stack_; }
    NavigationViewController* topViewController() const { return stack_.empty() ? nullptr : stack_.back().get(); }
    NavigationViewController* visibleViewController() const { return topViewController(); }
    NavigationViewController* rootViewController() const { return stack_.empty() ? nullptr : stack_.front().get(); }

    SimpleNavigatorHeader* navigationBar() const { return bar_; }
    ZNTButton* backButton() const { return backButton_; }
    QLabel* titleField() const { return titleField_; }
    bool isSliding() const { return slide_ != nullptr; }
    // Ends a running slide at once, as if its time had run out.
    void finishSlide();

    // The frame of a list's view: the container below the bar.
    QRect contentFrame() const;

signals:
    void clearSearchStringRequested();
    void restoreSearchStringRequested(const QString& searchString);
    // A new list became visible.
    void visibleViewControllerChanged();

protected:
    void resizeEvent(QResizeEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void switchToControllerView(NavigationViewController* controller, Slide slide, std::function<void()> completion);
    void buildNavigationBarItems();
    void layoutNavigationBar();
    void adopt(NavigationViewController* controller);
    void release(NavigationViewController* controller);

    std::vector<NavigationViewControllerPtr> stack_;
    SimpleNavigatorHeader* bar_;
    ZNTButton* backButton_ = nullptr;
    QLabel* titleField_ = nullptr;
    QPointer<QWidget> currentView_;
    QParallelAnimationGroup* slide_ = nullptr;
    std::function<void()> slideCompletion_;
};
