#include "source/browser/SimpleBrowserController.h"

#include "platform/foundation/Localizer.h"
#include "source/browser/NavigationController.h"
#include "source/browser/SimpleMainMenuController.h"
#include "source/browser/SimpleSongsController.h"
#include "ZNTUtilities/widgets/PanelViews.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

SimpleBrowserController::SimpleBrowserController(const BrowserServices& services, QWidget* parent)
    : QWidget(parent),
      services_(services),
      searchField_(new QLineEdit),
      navigation_(new NavigationController),
      footer_(new FooterView)
{
    searchField_->setPlaceholderText(tolvan::localized("Filter"));
    searchField_->setToolTip(tolvan::localized("Quickly filter the list to find what you are looking for"));
    searchField_->setAccessibleName(searchField_->placeholderText());
    // The clear button shows only over text, and making it looks its icon up
    // in the desktop's theme, which costs the first frame several
    // milliseconds: the field gets it with its first text.
    connect(searchField_, &QLineEdit::textChanged, searchField_, [field = searchField_](const QString& text) {
        if (!text.isEmpty() && !field->isClearButtonEnabled())
            field->setClearButtonEnabled(true);
    });
    footer_->setResizeStyle(2);
    footer_->setFixedHeight(23);

    auto* searchBar = new QWidget;
    auto* searchLayout = new QVBoxLayout(searchBar);
    searchLayout->setContentsMargins(6, 6, 6, 6);
    searchLayout->addWidget(searchField_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(searchBar);
    layout->addWidget(navigation_, 1);
    layout->addWidget(footer_);

    connect(searchField_, &QLineEdit::textChanged, this, &SimpleBrowserController::setSearchString);
    connect(navigation_, &NavigationController::clearSearchStringRequested, this, &SimpleBrowserController::clearSearchString);
    connect(navigation_, &NavigationController::restoreSearchStringRequested, this, &SimpleBrowserController::restoreSearchString);

    navigation_->pushViewController(SimpleMainMenuController::mainMenu(services_), false);
    selectedAssetChanged();
}

SimpleBrowserController::~SimpleBrowserController() = default;

void SimpleBrowserController::setSearchString(const QString& text)
{
    const QString trimmed = text.trimmed();
    const QString searchString = trimmed.isEmpty() ? QString() : trimmed;
    NavigationViewController* visible = navigation_->visibleViewController();
    if (visible && visible->filtersBySearchString()) {
        visible->setSearchString(searchString);
        return;
    }
    if (searchString.isNull())
        return;
    navigation_->popToViewController(navigation_->rootViewController(), false);
    auto songs = SimpleSongsController::songs(services_);
    songs->setSearchString(searchString);
    navigation_->pushViewController(std::move(songs), true);
}

void SimpleBrowserController::activateSearchField()
{
    // The search typed earlier is selected, so the next keys start a new one.
    searchField_->setFocus(Qt::ShortcutFocusReason);
    searchField_->selectAll();
}

void SimpleBrowserController::activateBrowser()
{
    if (NavigationViewController* visible = navigation_->visibleViewController())
        visible->restoreFirstResponder();
}

void SimpleBrowserController::showTopMenu()
{
    navigation_->popToViewController(navigation_->rootViewController(), false);
}

void SimpleBrowserController::browseToAndSelectSongNamed(const QString& title)
{
    showTopMenu();
    BrowserListController::setSynchronousLoading(true);
    auto songs = SimpleSongsController::songs(services_);
    SimpleSongsController* list = songs.get();
    navigation_->pushViewController(std::move(songs), false);
    list->scrollToAndSelectSongNamed(title);
}

void SimpleBrowserController::selectedAssetChanged()
{
    NavigationViewController* visible = navigation_->visibleViewController();
    if (visible)
        visible->selectionChangedTo(services_.host ? services_.host->selectedSource() : nullptr);
}

void SimpleBrowserController::clearSearchString()
{
    const QSignalBlocker quiet(searchField_);
    searchField_->setText(QString());
}

void SimpleBrowserController::restoreSearchString(const QString& searchString)
{
    if (searchString.isNull())
        return;
    const QSignalBlocker quiet(searchField_);
    searchField_->setText(searchString);
}
