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

BrowserRow groupRow(const QString& key)
{
    BrowserRow row;
    row.title = tolvan::localized(key);
    row.isGroup = true;
    return row;
}

BrowserRow libraryRow(const QString& key, const QString& image, const QString& type)
{
    BrowserRow row;
    row.title = tolvan::localized(key);
    row.image = image;
    row.itemType = type;
    row.action = BrowserRow::MenuAction::selectLibraryItem;
    row.hasChildren = true;
    return row;
}

BrowserRow ringtoneSetRow(const QVariantMap& set)
{
    BrowserRow row;
    row.title = set.value(QStringLiteral("title")).toString();
    row.setPath = set.value(QStringLiteral("setPath")).toString();
    row.image = QStringLiteral("ringtone");
    row.action = BrowserRow::MenuAction::selectRingtoneSetItem;
    row.hasChildren = true;
    return row;
}

// What the event log records of a menu row: the entries the row has.
QVariantMap describedRow(const BrowserRow& row)
{
    QVariantMap described{{"title", row.title}};
    for (const auto& [key, value] : {std::pair{"image", row.image}, std::pair{"itemType", row.itemType}, std::pair{"setPath", row.setPath}}) {
        if (!value.isEmpty())
            described.insert(key, value);
    }
    if (row.action == BrowserRow::MenuAction::selectLibraryItem)
        described.insert("action", "selectLibraryItem:");
    else if (row.action == BrowserRow::MenuAction::selectRingtoneSetItem)
        described.insert("action", "selectRingtoneSetItem:");
    if (row.hasChildren)
        described.insert("hasChildren", true);
    return described;
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
    BrowserRows rows{groupRow("LIBRARY"),
                     libraryRow("Songs", "songs", "songs"),
                     libraryRow("Artists", "artists", "artists"),
                     libraryRow("Albums", "albums", "albums"),
                     libraryRow("Movies", "movies", "movies"),
                     libraryRow("TV Shows", "tvshows", "tv_shows"),
                     libraryRow("Playlists", "playlists", "playlists")};
    const auto& showIncluded = tolvan::settings::showIncludedRingtones;
    if (!defaults.contains(showIncluded))
        defaults.setValue(showIncluded, showIncluded.fallback);
    if (defaults.value(showIncluded)) {
        rows.push_back(groupRow("RINGTONES"));
        for (const QVariantMap& set : ringtoneSets)
            rows.push_back(ringtoneSetRow(set));
    }
    return rows;
}

QWidget* SimpleMainMenuController::loadView()
{
    makeMenuCell(14)->style = 1;
    TableLook look;
    look.rowHeight = 26;
    look.spinner = false;
    QWidget* view = makeListView(look);
    rebuildContents();
    if (services_.defaults) {
        connect(services_.defaults, &tolvan::UserDefaults::changed, this, [this](const QString& key) {
            if (key == tolvan::settings::showIncludedRingtones.key)
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
    const auto action = chosen ? chosen->action : BrowserRow::MenuAction::none;
    if (action == BrowserRow::MenuAction::selectLibraryItem)
        selectLibraryItem();
    else if (action == BrowserRow::MenuAction::selectRingtoneSetItem)
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
    const QString type = row ? row->itemType : QString();
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
        const QVariant item = row ? QVariant(tolvan::describe(QVariant(describedRow(*row)))) : QVariant::fromValue(nullptr);
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
        SimpleRingtoneSetController::ringtoneSetForPath(services_, row->setPath, row->title), true);
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
