#include "source/shell/PreferencesController.h"

#include "platform/foundation/Localizer.h"
#include "platform/foundation/UserDefaults.h"
#include "source/shell/PreferencesPanes.h"

#include <QAction>
#include <QActionGroup>
#include <QPropertyAnimation>
#include <QToolBar>
#include <QVBoxLayout>

namespace tolvan {

namespace {

constexpr int resizeAnimationMs = 180;

// The size a pane lays itself out at: its preferred width within its limits,
// and the height its wrapped texts need at that width.
QSize paneSize(const QWidget* pane)
{
    const QSize hint = pane->sizeHint();
    const int width = qBound(pane->minimumWidth(), hint.width(), pane->maximumWidth());
    const int height = pane->hasHeightForWidth() ? pane->heightForWidth(width) : hint.height();
    return {width, qBound(pane->minimumHeight(), height, pane->maximumHeight())};
}

}  // namespace

const PreferencePaneClass* preferencePaneClassNamed(const QString& className)
{
    static const QHash<QString, PreferencePaneClass> classes{
        {QStringLiteral("PreferencesGeneralController"),
         {&PreferencesGeneralController::defaultToolbarItemWithIdentifier, &PreferencesGeneralController::toolbarViewController}},
        {QStringLiteral("PreferencesUpdateController"),
         {&PreferencesUpdateController::defaultToolbarItemWithIdentifier, &PreferencesUpdateController::toolbarViewController}},
    };
    const auto found = classes.find(className);
    return found == classes.end() ? nullptr : &found.value();
}

QString preferencePaneToOpen(const QString& stored, const QStringList& identifiers)
{
    if (identifiers.contains(stored))
        return stored;
    return identifiers.value(0);
}

PreferencesController::PreferencesController(PreferencesEnvironment environment, QWidget* parent)
    : QMainWindow(parent), environment_(environment), toolbar_(new QToolBar(this)), items_(new QActionGroup(this))
{
    initMembers();
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setIconSize(QSize(32, 32));
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, toolbar_);
    setContextMenuPolicy(Qt::NoContextMenu);

    for (const QString& identifier : toolbarIdentifiers_) {
        const PreferencePaneClass* paneClass = preferencePaneClassNamed(toolbarContentClasses_.value(identifier));
        QAction* item = paneClass->defaultToolbarItemWithIdentifier(identifier, items_);
        item->setCheckable(true);
        toolbar_->addAction(item);
    }
    connect(items_, &QActionGroup::triggered, this, &PreferencesController::toolbarItemSelectedAction);

    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    setCentralWidget(content);

    setSelectedPaneWithIdentifier(preferencePaneToOpen(environment_.defaults.value(settings::selectedPreferencePane), toolbarIdentifiers_), false);
    setWindowTitle(localized(QStringLiteral("Preferences")));

    auto* closeWindow = new QAction(this);
    closeWindow->setShortcuts(QKeySequence::keyBindings(QKeySequence::Close) << QKeySequence(Qt::Key_Escape));
    connect(closeWindow, &QAction::triggered, this, &QWidget::close);
    addAction(closeWindow);
}

void PreferencesController::initMembers()
{
    toolbarIdentifiers_ = {QStringLiteral("general"), QStringLiteral("update")};
    toolbarContentClasses_ = {
        {QStringLiteral("general"), QStringLiteral("PreferencesGeneralController")},
        {QStringLiteral("update"), QStringLiteral("PreferencesUpdateController")},
    };
}

QAction* PreferencesController::toolbarItem(const QString& identifier) const
{
    for (QAction* item : items_->actions())
        if (item->objectName() == identifier)
            return item;
    return nullptr;
}

void PreferencesController::toolbarItemSelectedAction(QAction* sender)
{
    setSelectedPaneWithIdentifier(sender->objectName(), true);
}

void PreferencesController::setSelectedPaneWithIdentifier(const QString& identifier, bool animated)
{
    const PreferencePaneClass* paneClass = preferencePaneClassNamed(toolbarContentClasses_.value(identifier));
    if (!paneClass)
        return;
    environment_.defaults.setValue(settings::selectedPreferencePane, identifier);
    selected_ = identifier;
    if (QAction* item = toolbarItem(identifier))
        item->setChecked(true);

    QWidget*& pane = itemViewControllers_[identifier];
    if (!pane)
        pane = paneClass->toolbarViewController(environment_);

    QLayout* content = centralWidget()->layout();
    if (QLayoutItem* shown = content->takeAt(0)) {
        shown->widget()->hide();
        delete shown;
    }
    content->addWidget(pane);
    pane->show();

    // The window keeps its top left corner: only its size follows the pane.
    const QSize size = paneSize(pane) + QSize(0, toolbar_->sizeHint().height());
    if (!animated || !isVisible()) {
        setFixedSize(size);
        return;
    }
    for (QPropertyAnimation* running : findChildren<QPropertyAnimation*>(QString(), Qt::FindDirectChildrenOnly))
        running->stop();
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    auto* animation = new QPropertyAnimation(this, "size", this);
    animation->setDuration(resizeAnimationMs);
    animation->setEndValue(size);
    connect(animation, &QPropertyAnimation::finished, this, [this, size] { setFixedSize(size); });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

}  // namespace tolvan
