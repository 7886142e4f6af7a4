#include "source/browser/NavigationController.h"

#include "source/browser/SimpleNavigatorHeader.h"
#include "ZNTUtilities/Binding.h"
#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/UIColorManager.h"
#include "ZNTUtilities/widgets/ZNTButton.h"

#include <QApplication>
#include <QEasingCurve>
#include <QFontMetricsF>
#include <QGraphicsDropShadowEffect>
#include <QKeyEvent>
#include <QLabel>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>

#include <algorithm>
#include <cmath>

// ---- NavigationViewController ----

NavigationViewController::~NavigationViewController()
{
    delete view_.data();
}

QWidget* NavigationViewController::view()
{
    if (!view_)
        view_ = loadView();
    return view_;
}

bool NavigationViewController::containsFirstResponder() const
{
    if (!view_)
        return false;
    for (const QWidget* w = view_->window()->focusWidget(); w; w = w->parentWidget()) {
        if (w == view_)
            return true;
    }
    return false;
}

void NavigationViewController::restoreFirstResponder()
{
    view()->setFocus(Qt::OtherFocusReason);
}

void NavigationViewController::moveLeft()
{
    if (navigationController_)
        navigationController_->popViewControllerAnimated(true);
}

// ---- Bar layout ----

NavigationBarLayout layoutNavigationBar(QSizeF barSize, std::optional<qreal> titleWidth, std::optional<qreal> backWidth)
{
    // Worked out with y growing upward from the bar's bottom edge, then turned
    // over once for the widgets.
    constexpr qreal margin = 5, titleHeight = 16, buttonHeight = 24, smallestButton = 56;
    const qreal w = barSize.width(), h = barSize.height();
    QRectF title;
    if (titleWidth) {
        qreal width = *titleWidth;
        const qreal x = std::max(std::floor((w - width) / 2), margin);
        if (x + width > w - margin)
            width = w - margin - x;
        title = {x, std::floor((h - titleHeight) / 2) + 1, width, titleHeight};
    }
    NavigationBarLayout layout;
    if (backWidth) {
        qreal width = *backWidth + 16;
        const qreal neededRoom = width + 10;
        if (neededRoom > title.x()) {
            if (neededRoom <= w - title.width() - margin) {
                title.moveLeft(neededRoom);
            } else {
                width = std::max(w - title.width() - 15, smallestButton);
                title.moveLeft(width + 10);
                title.setWidth(w - margin - title.x());
            }
        }
        const qreal y = std::floor((h - buttonHeight) / 2);
        layout.backButton = QRectF(margin, h - (y + buttonHeight), width, buttonHeight);
    }
    if (titleWidth)
        layout.title = QRectF(title.x(), h - (title.y() + title.height()), title.width(), title.height());
    return layout;
}

// ---- NavigationController ----

NavigationController::NavigationController(QWidget* parent) : QWidget(parent), bar_(new SimpleNavigatorHeader(this))
{
    stack_.reserve(10);
    bindProperty(bar_, "backgroundColor", UIColorManager::sharedManager(), "navigatorBackgroundColor");
    bar_->setGeometry(0, 0, width(), barHeight);
}

NavigationController::~NavigationController()
{
    if (slide_) {
        slide_->stop();
        slideCompletion_ = nullptr;
    }
    for (const auto& controller : stack_)
        release(controller.get());
}

QRect NavigationController::contentFrame() const
{
    return {0, barHeight, width(), std::max(0, height() - barHeight)};
}

void NavigationController::adopt(NavigationViewController* controller)
{
    controller->navigationController_ = this;
    connect(controller, &NavigationViewController::clearSearchStringRequested, this, &NavigationController::clearSearchStringRequested);
    connect(controller, &NavigationViewController::restoreSearchStringRequested, this, &NavigationController::restoreSearchStringRequested);
}

void NavigationController::release(NavigationViewController* controller)
{
    controller->navigationController_ = nullptr;
    disconnect(controller, nullptr, this, nullptr);
}

void NavigationController::pushViewController(NavigationViewControllerPtr controller, bool animated)
{
    if (!controller)
        return;
    finishSlide();
    NavigationViewController* old = topViewController();
    const bool hadFocus = old && old->containsFirstResponder();
    if (old)
        old->controllerWillBecomeHidden();
    stack_.push_back(controller);
    adopt(controller.get());
    std::weak_ptr<NavigationViewController> arriving = controller;
    switchToControllerView(controller.get(), animated ? Slide::fromRight : Slide::none, [arriving, hadFocus] {
        const auto shown = arriving.lock();
        if (hadFocus && shown)
            shown->restoreFirstResponder();
    });
}

NavigationViewControllerPtr NavigationController::popViewControllerAnimated(bool animated)
{
    finishSlide();
    if (stack_.size() < 2)
        return nullptr;
    NavigationViewControllerPtr leaving = stack_.back();
    // The back button goes with the list it leads back from: its focus
    // goes to the list that comes back.
    const bool hadFocus = leaving->containsFirstResponder() || (backButton_ && backButton_->hasFocus());
    leaving->controllerWillBecomeHidden();
    stack_.pop_back();
    std::weak_ptr<NavigationViewController> arriving = stack_.back();
    // The slide holds the leaving list, so its view lives until the slide ends.
    switchToControllerView(stack_.back().get(), animated ? Slide::fromLeft : Slide::none, [leaving, arriving, hadFocus] {
        const auto shown = arriving.lock();
        if (hadFocus && shown)
            shown->restoreFirstResponder();
    });
    release(leaving.get());
    return leaving;
}

std::vector<NavigationViewControllerPtr> NavigationController::popToViewController(NavigationViewController* target, bool animated)
{
    finishSlide();
    const auto found = std::find_if(stack_.begin(), stack_.end(), [target](const auto& c) { return c.get() == target; });
    if (found == stack_.end() || found->get() == topViewController())
        return {};
    NavigationViewControllerPtr leaving = stack_.back();
    const bool hadFocus = leaving->containsFirstResponder();
    leaving->controllerWillBecomeHidden();
    std::vector<NavigationViewControllerPtr> removed(found + 1, stack_.end());
    stack_.erase(found + 1, stack_.end());
    for (const auto& controller : removed)
        release(controller.get());
    std::weak_ptr<NavigationViewController> arriving = stack_.back();
    switchToControllerView(target, animated ? Slide::fromLeft : Slide::none, [leaving, arriving, hadFocus] {
        const auto shown = arriving.lock();
        if (hadFocus && shown)
            shown->restoreFirstResponder();
    });
    return removed;
}

void NavigationController::switchToControllerView(NavigationViewController* controller, Slide slide, std::function<void()> completion)
{
    QPointer<QWidget> old = currentView_;
    QWidget* view = controller->view();
    if (view->parentWidget() != this)
        view->setParent(this);
    currentView_ = view;
    const QRect frame = contentFrame();

    if (slide != Slide::none) {
        const int shift = slide == Slide::fromRight ? frame.width() : -frame.width();
        controller->controllerWillBecomeVisible();
        view->setGeometry(frame.translated(shift, 0));
        view->show();
        view->raise();
        bar_->raise();

        QEasingCurve easeInEaseOut(QEasingCurve::BezierSpline);
        easeInEaseOut.addCubicBezierSegment({0.42, 0}, {0.58, 1}, {1, 1});
        slide_ = new QParallelAnimationGroup(this);
        auto animate = [&](QWidget* widget, const QRect& to) {
            auto* animation = new QPropertyAnimation(widget, "geometry", slide_);
            animation->setDuration(slideMilliseconds);
            animation->setEasingCurve(easeInEaseOut);
            animation->setEndValue(to);
            slide_->addAnimation(animation);
        };
        if (old && old != view)
            animate(old, old->geometry().translated(-shift, 0));
        animate(view, frame);
        slideCompletion_ = [old, view = QPointer<QWidget>(view), completion = std::move(completion)] {
            if (old && old != view)
                old->hide();
            completion();
        };
        connect(slide_, &QAbstractAnimation::finished, this, &NavigationController::finishSlide);
        slide_->start();
    } else {
        if (old && old != view)
            old->hide();
        controller->controllerWillBecomeVisible();
        view->setGeometry(frame);
        view->show();
    }

    buildNavigationBarItems();
    controller->controllerDidBecomeVisible();
    emit visibleViewControllerChanged();
    if (slide == Slide::none)
        completion();
}

void NavigationController::finishSlide()
{
    if (!slide_)
        return;
    QParallelAnimationGroup* slide = slide_;
    slide_ = nullptr;
    disconnect(slide, nullptr, this, nullptr);
    if (slide->state() == QAbstractAnimation::Running)
        slide->setCurrentTime(slide->totalDuration());
    slide->stop();
    slide->deleteLater();
    auto completion = std::move(slideCompletion_);
    slideCompletion_ = nullptr;
    if (completion)
        completion();
}

void NavigationController::buildNavigationBarItems()
{
    delete backButton_;
    backButton_ = nullptr;
    delete titleField_;
    titleField_ = nullptr;

    if (stack_.size() >= 2) {
        backButton_ = new ZNTButton(bar_);
        backButton_->setBackgroundImage(ImageStore::named(QStringLiteral("back_button")).stretchableImage(12, 0), 0);
        backButton_->setBackgroundImage(ImageStore::named(QStringLiteral("back_button_down")).stretchableImage(12, 0), 1);
        backButton_->setContentLeftMargin(8);
        backButton_->setContentRightMargin(4);
        backButton_->setTitleElideMode(Qt::ElideRight);
        backButton_->setFont(interfaceFont(12, true));
        backButton_->setText(stack_[stack_.size() - 2]->title());
        backButton_->setAccessibleName(backButton_->text());
        connect(backButton_, &QAbstractButton::clicked, this, [this] { popViewControllerAnimated(true); });
        backButton_->installEventFilter(this);
        backButton_->show();
        // Tab reaches the button above the list before the list.
        for (QWidget* stop : topViewController()->view()->findChildren<QWidget*>())
            if (stop->focusPolicy() & Qt::TabFocus) {
                QWidget::setTabOrder(backButton_, stop);
                break;
            }
    }
    const QString title = topViewController() ? topViewController()->title() : QString();
    if (!title.isNull()) {
        titleField_ = new QLabel(title, bar_);
        titleField_->setFont(interfaceFont(13, true));
        titleField_->setStyleSheet(QStringLiteral("color: black; background: transparent;"));
        auto* engraving = new QGraphicsDropShadowEffect(titleField_);
        engraving->setOffset(0, 1);
        engraving->setBlurRadius(0);
        engraving->setColor(QColor::fromRgbF(1, 1, 1, 0.6f));
        titleField_->setGraphicsEffect(engraving);
        titleField_->show();
    }
    layoutNavigationBar();
}

// Down on the back button goes on into the list below it, as Down in the
// list does: the list takes the focus and the key, so the first Down selects
// its first row. (A button's own arrow keys would only move the focus.)
bool NavigationController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != backButton_ || event->type() != QEvent::KeyPress || !topViewController())
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Down || (key->modifiers() & ~Qt::KeypadModifier))
        return false;
    topViewController()->restoreFirstResponder();
    QWidget* list = QApplication::focusWidget();
    if (list && list != backButton_)
        QCoreApplication::sendEvent(list, event);
    return true;
}

void NavigationController::layoutNavigationBar()
{
    std::optional<qreal> titleWidth, backWidth;
    if (titleField_)
        titleWidth = QFontMetricsF(titleField_->font()).horizontalAdvance(titleField_->text()) + 4;
    if (backButton_)
        backWidth = QFontMetricsF(backButton_->font()).horizontalAdvance(backButton_->text()) + 12;
    const NavigationBarLayout layout = ::layoutNavigationBar(bar_->size(), titleWidth, backWidth);
    if (backButton_ && layout.backButton)
        backButton_->setGeometry(layout.backButton->toRect());
    if (titleField_ && layout.title) {
        const QRect frame = layout.title->toRect().adjusted(0, -2, 0, 2);  // room for the engraving
        titleField_->setGeometry(frame);
        const QString full = topViewController() ? topViewController()->title() : QString();
        titleField_->setText(QFontMetricsF(titleField_->font()).elidedText(full, Qt::ElideRight, frame.width()));
    }
}

void NavigationController::resizeEvent(QResizeEvent*)
{
    bar_->setGeometry(0, 0, width(), barHeight);
    if (currentView_ && !slide_)
        currentView_->setGeometry(contentFrame());
    layoutNavigationBar();
}
