#include "source/browser/SimplePlaylistsController.h"

#include "platform/foundation/Localizer.h"
#include "source/browser/SimpleSongsController.h"
#include "source/browser/TitleSortDescriptor.h"

SimplePlaylistsController::SimplePlaylistsController(const BrowserServices& services) : BrowserListController(services)
{
    setSearch(Search::keptAcrossVisits);
}

std::shared_ptr<SimplePlaylistsController> SimplePlaylistsController::playlists(const BrowserServices& services)
{
    auto list = std::make_shared<SimplePlaylistsController>(services);
    list->setTitle(tolvan::localized("Playlists"));
    return list;
}

BrowserRows SimplePlaylistsController::buildRows(const std::vector<ZNTMediaLibraryPlaylistPtr>& playlists)
{
    BrowserRows rows;
    for (const ZNTMediaLibraryPlaylistPtr& playlist : playlists) {
        if (!playlist || playlist->items().empty())
            continue;
        BrowserRow& row = rows.emplace_back();
        row.title = playlist->name();
        row.sortTitle = playlist->sortName();
        row.playlist = playlist;
        row.hasChildren = true;
        row.searchText = searchTextOf({row.title});
    }
    TitleSortDescriptor(BrowserRow::Text::sortTitle).sort(rows);
    return rows;
}

QWidget* SimplePlaylistsController::loadView()
{
    makeMenuCell(16);
    TableLook look;
    look.rowHeight = 24;
    look.spinner = false;
    QWidget* view = makeListView(look);
    ZNTMediaLibrary* library = services_.library;
    if (library && library->loading()) {
        connect(library, &ZNTMediaLibrary::loadingChanged, this, [this](bool loading) {
            if (!loading)
                addItems();
        });
    } else {
        addItems();
    }
    return view;
}

void SimplePlaylistsController::addItems()
{
    ZNTMediaLibrary* library = services_.library;
    setRowsNow(library ? buildRows(library->userPlaylists()) : BrowserRows{});
}

void SimplePlaylistsController::cellChosen()
{
    const BrowserRow* row = selectedRow();
    if (!row)
        return;
    const ZNTMediaLibraryPlaylistPtr playlist = row->playlist;
    if (!playlist)
        return;
    pushAboveThis(SimpleSongsController::detailedSongsWithTracks(services_, playlist->items(), playlist->name(), SimpleSongsController::Order::given));
}
