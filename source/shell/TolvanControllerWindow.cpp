// The main window: its layout, the split view, full screen, its frame from
// one launch to the next, the menus and the windows that open over it.
#include "source/shell/TolvanController.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localizer.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/system/Updater.h"
#include "source/browser/SimpleBrowserController.h"
#include "source/browser/WelcomeViewController.h"
#include "source/editor/PreviewView.h"
#include "source/shell/AboutPanel.h"
#include "source/shell/ApplicationHosts.h"
#include "source/shell/ApplicationMenus.h"
#include "source/shell/ShellEditor.h"
#include "source/shell/TolvanMainWindow.h"
#include "source/shell/WindowGeometry.h"
#include "ZNTUtilities/Binding.h"
#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/UIColorManager.h"
#include "ZNTUtilities/widgets/PanelViews.h"
#include "ZNTUtilities/widgets/ViewAdditions.h"
#include "ZNTUtilities/widgets/ZNTButton.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScreen>
#include <QSequentialAnimationGroup>
#include <QVBoxLayout>

using namespace tolvan;

namespace {

constexpr int kSliderSteps = 10;  // slider units per point per second

QLabel* imageLabel(const QString& imageName, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(QPixmap::fromImage(ImageStore::named(imageName).bitmap()));
    label->setFixedSize(16, 16);
    label->setScaledContents(true);
    return label;
}

ZNTButton* imageButton(const QString& imageName, QWidget* parent)
{
    auto* button = new ZNTButton(parent);
    button->setBackgroundImage(ImageStore::named(imageName), 0);
    button->setBackgroundImage(ImageStore::named(imageName + QStringLiteral("_down")), 1);
    button->setFixedSize(28, 24);
    return button;
}

// The grip at the end of the browser pane's footer: a second handle of the
// split view's divider.
class BrowserGrip : public QWidget {
public:
    BrowserGrip(QWidget* browserPane, QSplitter* splitView) : QWidget(browserPane), splitView_(splitView)
    {
        setCursor(Qt::SplitHCursor);
        browserPane->installEventFilter(this);
        splitView->installEventFilter(this);
        place();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            place();
        return false;
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            grab_ = splitView_->sizes().value(0) - xInSplitView(*event);
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!(event->buttons() & Qt::LeftButton))
            return;
        const QList<int> sizes = splitView_->sizes();
        const int position = int(constrainSplitPosition(xInSplitView(*event) + grab_));
        splitView_->setSizes({position, sizes.value(0) + sizes.value(1) - position});
    }

private:
    double xInSplitView(const QMouseEvent& event) const { return splitView_->mapFromGlobal(event.globalPosition()).x(); }
    void place()
    {
        const QRectF grip = browserGripRect(QRectF(parentWidget()->rect()), splitView_->height());
        setGeometry(QRect(parentWidget()->mapFrom(splitView_, grip.topLeft().toPoint()), grip.size().toSize()));
        raise();
    }

    QSplitter* splitView_;
    double grab_ = 0;
};

}  // namespace

void TolvanController::buildWindow()
{
    // The window's minimum follows from its layouts (the content area's is set
    // from the views it shows, fitContentAreaToItsViews).
    mainWindow_ = new TolvanMainWindow(*this);
    mainWindow_->resize(1120, 720);

    splitView_ = new CustomSplitView(Qt::Horizontal);
    splitView_->setChildrenCollapsible(false);
    browserContainer_ = new QWidget;
    browserContainer_->setMinimumWidth(int(kBrowserMinimumWidth));
    browserContainer_->setMaximumWidth(int(kBrowserMaximumWidth));
    auto* browserLayout = new QVBoxLayout(browserContainer_);
    browserLayout->setContentsMargins(0, 0, 0, 0);

    auto* contentColumn = new QWidget;
    auto* column = new QVBoxLayout(contentColumn);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    previewBackground_ = new PreviewBackground;
    previewBackground_->installEventFilter(this);
    column->addWidget(previewBackground_, 1);

    auto* bottomBar = new ToolbarView;
    bottomBar_ = bottomBar;
    bottomBar->setFixedHeight(34);
    auto* bar = new QHBoxLayout(bottomBar);
    bar->setContentsMargins(12, 4, 12, 4);
    bar->setSpacing(6);
    zoomOutLabel_ = imageLabel(QStringLiteral("zoom_out"), bottomBar);
    scaleSlider_ = new ZNTSlider(bottomBar);
    scaleSlider_->setFixedWidth(140);
    zoomInLabel_ = imageLabel(QStringLiteral("zoom_in"), bottomBar);
    advancedButton_ = imageButton(QStringLiteral("advanced"), bottomBar);
    sharingButton_ = imageButton(QStringLiteral("share"), bottomBar);
    bar->addWidget(zoomOutLabel_);
    bar->addWidget(scaleSlider_);
    bar->addWidget(zoomInLabel_);
    bar->addStretch(1);
    bar->addWidget(sharingButton_);
    bar->addWidget(advancedButton_);
    QWidget::setTabOrder(sharingButton_, advancedButton_);  // as they stand
    column->addWidget(bottomBar);

    splitView_->addWidget(browserContainer_);
    splitView_->addWidget(contentColumn);
    splitView_->setStretchFactor(0, 0);  // a resize goes to the content, the browser keeps its width
    splitView_->setStretchFactor(1, 1);
    splitView_->setSizes({250, 750});
    mainWindow_->setCentralWidget(splitView_);

    BrowserServices services{browserHost_.get(), services_.library, services_.includedLibrary, &defaults_};
    browser_ = new SimpleBrowserController(services, browserContainer_);
    browserLayout->addWidget(browser_);
    new BrowserGrip(browserContainer_, splitView_);

    bindProperty(previewBackground_, "backgroundColor", UIColorManager::sharedManager(), "previewBackgroundColor");
}

void TolvanController::setupWelcomeView()
{
    welcome_ = std::make_unique<WelcomeViewController>(BrowserServices{browserHost_.get(), services_.library, services_.includedLibrary, &defaults_});
}

void TolvanController::setupWaveformView()
{
    scaleSlider_->setToolTip(localized(QStringLiteral("zoom slider tooltip"), QStringLiteral("Zoom the waveform in and out")));
    scaleSlider_->setKnobImage(ImageStore::named(QStringLiteral("slider_knob")));
    scaleSlider_->setTrackImage(ImageStore::named(QStringLiteral("slider_track")).stretchableImage(3, 0));
    scaleSlider_->setAccessibleName(localized(QStringLiteral("scale slider accessibility title"), QStringLiteral("waveform scale")));
    if (!services_.makeEditor)
        return;
    editor_ = services_.makeEditor(*this);
    if (!editor_)
        return;
    scaleSlider_->setRange(int(editor_->minPointsPerSecond() * kSliderSteps), int(editor_->maxPointsPerSecond() * kSliderSteps));
    scaleSlider_->setValue(int(editor_->pointsPerSecond() * kSliderSteps));
    connect(scaleSlider_, &QSlider::valueChanged, this, [this](int value) {
        if (editor_)
            editor_->setPointsPerSecond(double(value) / kSliderSteps);
    });
    editor_->setPointsPerSecondObserver([slider = QPointer<ZNTSlider>(scaleSlider_)](double pointsPerSecond) {
        if (slider) {
            const QSignalBlocker quiet(slider);
            slider->setValue(int(pointsPerSecond * kSliderSteps));
        }
    });
}

void TolvanController::setupRecordView()
{
    recorder_ = RecordViewController::recordView();
    recorder_->setTolvanController(recorderHost_.get());
}

void TolvanController::fitContentAreaToItsViews()
{
    // The content area places its one view by hand, so it takes the largest
    // minimum of the views it may show: switching views never changes the
    // window's minimum, and the smallest window still shows each view whole.
    QSize minimum;
    for (QWidget* view : {editor_ ? editor_->view() : nullptr, static_cast<QWidget*>(welcome_.get()), recorder_ ? recorder_->view() : nullptr})
        if (view)
            minimum = minimum.expandedTo(view->minimumSizeHint().expandedTo(view->minimumSize()));
    previewBackground_->setMinimumSize(minimum);
}

void TolvanController::setupAdvancedButton()
{
    advancedButton_->setToolTip(localized(QStringLiteral("advanced view button"), QStringLiteral("Shows and hides the advanced panel")));
    advancedButton_->setAccessibleName(localized(QStringLiteral("accessibility title advanced view button"), QStringLiteral("advanced panel")));
    advancedButton_->setAccessibleDescription(advancedButton_->toolTip());
    connect(advancedButton_, &QAbstractButton::clicked, this, [this] {
        if (editor_)
            editor_->toggleAdvancedMode();
    });
}

void TolvanController::setupSharingButton()
{
    sharingButton_->setToolTip(localized(QStringLiteral("sharing view button"), QStringLiteral("Shares a message about your ringtone")));
    sharingButton_->setAccessibleName(localized(QStringLiteral("accessibility title sharing button"), QStringLiteral("share message about ringtone")));
    sharingButton_->setAccessibleDescription(sharingButton_->toolTip());
    // The picker opens on the press, under the pointer.
    connect(sharingButton_, &QAbstractButton::pressed, this, [this] {
        if (editor_)
            editor_->shareAction(sharingButton_);
    });
}

double TolvanController::constrainSplitPosition(double proposed) const { return tolvan::constrainSplitPosition(proposed); }

// Menus.

void TolvanController::buildApplicationMenus()
{
    ::buildApplicationMenus(mainWindow_->menuBar(), mainWindow_, *menus_);
    for (QAction* top : mainWindow_->menuBar()->actions())
        if (QMenu* menu = top->menu())
            connect(menu, &QMenu::aboutToShow, this, &TolvanController::validateMenus);
    // Undo's and Redo's keys work only while their items are enabled.
    connect(undoManager_.get(), &UndoManager::canUndoChanged, this, &TolvanController::validateMenus);
    connect(undoManager_.get(), &UndoManager::canRedoChanged, this, &TolvanController::validateMenus);
    validateMenus();
}

void TolvanController::validateMenus()
{
    if (mainWindow_)
        ::validateMenus(mainWindow_->menuBar(), *menus_);
}

void TolvanController::showAboutPanel()
{
    // One panel at a time; asking again brings it to the front.
    auto* panel = mainWindow_->findChild<AboutPanel*>();
    if (!panel)
        panel = new AboutPanel(Bundle::main(), mainWindow_);
    panel->show();
    panel->raise();
    panel->activateWindow();
}

// Windows over the main window, and its frame from one launch to the next.

void TolvanController::centreOverMainWindow(QWidget& window) const
{
    // The insides of the two windows: a window not yet shown has no frame to
    // measure, and both frames are drawn alike.
    QScreen* screen = mainWindow_->screen() ? mainWindow_->screen() : QGuiApplication::primaryScreen();
    window.setGeometry(frameCentredOver(window.size(), mainWindow_->geometry(), screen->availableGeometry()).toRect());
}

void TolvanController::restoreWindowFrame()
{
    const QByteArray saved = defaults_.value(settings::mainWindowFrame);
    if (saved.isEmpty() || !mainWindow_->restoreGeometry(saved))
        return;
    // A window saved in full screen opens in full screen and leaves it for the
    // frame it had before entering.
    fullScreen_ = mainWindow_->windowState().testFlag(Qt::WindowFullScreen);
    validateMenus();
}

void TolvanController::saveWindowFrame()
{
    defaults_.setValue(settings::mainWindowFrame, mainWindow_->saveGeometry());
    // Written now: the application ends as the window closes, before the
    // settings' own delayed write would run.
    defaults_.synchronize();
}

// Full screen.

std::optional<QRectF> TolvanController::frameForNonFullScreenMode() const
{
    const QVariantList values = defaults_.value(settings::frameForNonFullScreenMode);
    if (values.size() != 4)
        return std::nullopt;
    const QRectF frame(values[0].toDouble(), values[1].toDouble(), values[2].toDouble(), values[3].toDouble());
    return frame.isValid() ? std::optional(frame) : std::nullopt;
}

void TolvanController::setFrameForNonFullScreenMode(const QRectF& frame)
{
    defaults_.setValue(settings::frameForNonFullScreenMode, QVariantList{frame.x(), frame.y(), frame.width(), frame.height()});
}

void TolvanController::toggleFullScreen()
{
    if (!animatingFullScreen_)
        animateFullScreen(!fullScreen_);
}

void TolvanController::animateFullScreen(bool entering)
{
    QScreen* screen = mainWindow_->screen() ? mainWindow_->screen() : QGuiApplication::primaryScreen();
    FullScreenSteps steps;
    if (entering) {
        setFrameForNonFullScreenMode(mainWindow_->geometry());
        steps = enterFullScreenSteps(mainWindow_->geometry(), mainWindow_->maximumSize(), screen->geometry(), fullScreenDuration_);
        tolvan_startAnimatedDrawing(mainWindow_->centralWidget());
    } else {
        mainWindow_->showNormal();
        const QRectF fallback(screen->availableGeometry().center() - QPointF(500, 330), QSizeF(1000, 660));
        steps = exitFullScreenSteps(mainWindow_->geometry(), frameForNonFullScreenMode(), fallback, fullScreenDuration_);
    }
    animatingFullScreen_ = true;
    auto* group = new QSequentialAnimationGroup(this);
    for (const QRectF& frame : {steps.intermediate, steps.final}) {
        auto* step = new QPropertyAnimation(mainWindow_, "geometry", group);
        step->setDuration(int(steps.stepDuration * 1000));
        step->setEndValue(frame.toRect());
        group->addAnimation(step);
    }
    connect(group, &QAbstractAnimation::finished, this, [this, entering, group] {
        animatingFullScreen_ = false;
        fullScreen_ = entering;
        if (entering) {
            tolvan_endAnimatedDrawing(mainWindow_->centralWidget());
            mainWindow_->showFullScreen();
        }
        validateMenus();  // the item says "Exit Full Screen" while in full screen
        group->deleteLater();
    });
    group->start();
}
