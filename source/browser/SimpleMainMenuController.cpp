#include "source/browser/SimpleMainMenuController.h"

#include "platform/foundation/Description.h"
#include "platform/foundation/Localizer.h"
#include "platform/foundation/UserDefaults.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/browser/SimpleAlbumsController.h"
#include "source/browser/SimpleArtistsController.h"
#include "source/browser/SimplePlaylistsController.h"
#include "source/browser/SimpleRingtoneSetController.h"
#include "source/browser/SimpleSongsController.h"
#include "source/media_library/IncludedLibrary.h"
#include "ZNTUtilities/Binding.h"
#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/UIColorManager.h"

namespace {

const QString selectLibraryItemAction = QStringLiteral("selectLibraryItem:");
const QString selectRingtoneSetItemAction = QStringLiteral("selectRingtoneSetItem:");

QVariantMap groupRow(const QString& key) { return {{"title", tolvan::localized(key)}, {"isGroup", true}}; }

QVariantMap libraryRow(const QString& key, const QString& image, const QString& type)
{
    return {{"title", tolvan::localized(key)}, {"image", image}, {"itemType", type}, {"action", selectLibraryItemAction}, {"hasChildren", true}};
}

}  // namespace

SimpleMainMenuController::SimpleMainMenuController(const BrowserServices& services) : BrowserListController(services) {}

std::shared_ptr<SimpleMainMenuController> SimpleMainMenuController::mainMenu(const BrowserServices& services)
{
    auto menu = std::make_shared<SimpleMainMenuController>(services);
    menu->setTitle(tolvan::localized("Media Browser"));
    return menu;
}

BrowserRows SimpleMainMenuController::buildRows(tolvan::UserDefaults& defaults, const QList<QVariantMap>& ringtoneSets)
{
    BrowserRows rows{BrowserRow(groupRow("LIBRARY")),
                     BrowserRow(libraryRow("Songs", "songs", "songs")),
                     BrowserRow(libraryRow("Artists", "artists", "artists")),
                     BrowserRow(libraryRow("Albums", "albums", "albums")),
                     BrowserRow(libraryRow("Movies", "movies", "movies")),
                     BrowserRow(libraryRow("TV Shows", "tvshows", "tv_shows")),
                     BrowserRow(libraryRow("Playlists", "playlists", "playlists"))};
    if (!defaults.contains(showIncludedRingtonesKey))
        defaults.setValue(showIncludedRingtonesKey, true);
    if (defaults.boolValue(showIncludedRingtonesKey)) {
        rows.emplace_back(groupRow("RINGTONES"));
        for (QVariantMap set : ringtoneSets) {
            set.insert("image", "ringtone");
            set.insert("hasChildren", true);
            set.insert("action", selectRingtoneSetItemAction);
            rows.emplace_back(std::move(set));
        }
    }
    return rows;
}

QWidget* SimpleMainMenuController::loadView()
{
    cell_ = std::make_unique<SimpleMenuCell>();
    cell_->style = 1;
    cell_->font = interfaceFont(14);
    bindProperty(cell_.get(), "textColor", UIColorManager::sharedManager(), "tableTextColor");
    TableLook look;
    look.cell = cell_.get();
    look.rowHeight = 26;
    look.spinner = false;
    QWidget* view = makeListView(look);
    rebuildContents();
    if (services_.defaults) {
        connect(services_.defaults, &tolvan::UserDefaults::changed, this, [this](const QString& key) {
            if (key == showIncludedRingtonesKey)
                rebuildContents();
        });
    }
    return view;
}

void SimpleMainMenuController::rebuildContents()
{
    if (!services_.defaults)
        return;
    const QList<QVariantMap> sets = services_.includedLibrary ? services_.includedLibrary->includedRingtoneSets() : QList<QVariantMap>{};
    setRowsNow(buildRows(*services_.defaults, sets));
}

void SimpleMainMenuController::rowChosen(int row)
{
    const BrowserRow* chosen = arrangedRows().rowAt(row);
    const QString action = chosen ? chosen->string(QStringLiteral("action")) : QString();
    if (action == selectLibraryItemAction)
        selectLibraryItem();
    else if (action == selectRingtoneSetItemAction)
        selectRingtoneSetItem();
}

void SimpleMainMenuController::selectLibraryItem()
{
    const int selected = tableView()->selectedRow();
    if (selected < 1) {
        ZNTAnalytics::logEvent(QStringLiteral("selectLibraryItem: called but no row is selected"));
        return;
    }
    const BrowserRow* row = arrangedRows().rowAt(selected);
    const QString type = row ? row->string(QStringLiteral("itemType")) : QString();
    NavigationViewControllerPtr list;
    if (type == "songs")
        list = SimpleSongsController::songs(services_);
    else if (type == "artists")
        list = SimpleArtistsController::artists(services_);
    else if (type == "albums")
        list = SimpleAlbumsController::albums(services_);
    else if (type == "playlists")
        list = SimplePlaylistsController::playlists(services_);
    else if (type == "movies")
        list = SimpleSongsController::movies(services_);
    else if (type == "tv_shows")
        list = SimpleSongsController::tvshows(services_);
    if (!list) {
        const QVariant item = row ? QVariant(tolvan::describe(QVariant(row->values()))) : QVariant::fromValue(nullptr);
        ZNTAnalytics::logEvent(QStringLiteral("selectLibraryItem: encountered unknown linrary item type"), {{"selectedItem", item}});
        return;
    }
    if (navigationController())
        navigationController()->pushViewController(std::move(list), true);
}

void SimpleMainMenuController::selectRingtoneSetItem()
{
    const int selected = tableView()->selectedRow();
    if (selected < 1) {
        ZNTAnalytics::logEvent(QStringLiteral("selectRingtoneSetItem: no row selected"));
        return;
    }
    const BrowserRow* row = arrangedRows().rowAt(selected);
    if (!row || !navigationController())
        return;
    navigationController()->pushViewController(
        SimpleRingtoneSetController::ringtoneSetForPath(services_, row->string(QStringLiteral("setPath")), row->string(QStringLiteral("title"))), true);
}

void SimpleMainMenuController::selectRecordItem()
{
    if (!services_.host)
        return;
    services_.host->setRecordingSelected(true);
    services_.host->openSource(nullptr);
}

void SimpleMainMenuController::selectionChangedTo(const TolvanSourcePtr& source)
{
    if (!source && services_.host && services_.host->recordingSelected())
        return;
    clearSelection();
}
