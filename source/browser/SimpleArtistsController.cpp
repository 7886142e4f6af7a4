#include "source/browser/SimpleArtistsController.h"

#include "platform/foundation/Localizer.h"
#include "source/browser/SimpleAlbumsController.h"
#include "source/browser/SimpleSongsController.h"
#include "source/browser/BrowserListController_p.h"
#include "source/browser/TitleSortDescriptor.h"

#include <QSet>

SimpleArtistsController::SimpleArtistsController(const BrowserServices& services)
    : BrowserListController(services, std::make_shared<ListTracks>(ListTracks::Master::music))
{
    setSearch(Search::keptAcrossVisits);
}

std::shared_ptr<SimpleArtistsController> SimpleArtistsController::artists(const BrowserServices& services)
{
    auto list = std::make_shared<SimpleArtistsController>(services);
    list->setTitle(tolvan::localized("Artists"));
    list->updateItems();
    return list;
}

BrowserRows SimpleArtistsController::buildRows(const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks)
{
    QSet<QString> names;
    names.reserve(100);
    for (const ZNTMediaLibraryMediaItemPtr& track : tracks) {
        if (!track || track->locationType() != ZNTMediaLibraryLocationTypeFile)
            continue;
        const QString name = track->artistName();
        if (!name.isEmpty())
            names.insert(name);
    }
    BrowserRows rows;
    rows.reserve(std::size_t(names.size()));
    for (const QString& name : names) {
        BrowserRow& row = rows.emplace_back();
        row.title = name;
        row.hasChildren = true;
        row.searchText = searchTextOf({name});
    }
    // Names that collate alike go by their code units, not the set's order.
    const TitleSortDescriptor order(BrowserRow::Text::title);
    applyOrder(rows, order.order(rows.size(), [&](std::size_t index) { return TitleSortDescriptor::Entry{false, rows[index].title}; },
                                 [&](quint32 a, quint32 b) { return rows[a].title < rows[b].title; }));
    return rows;
}

QWidget* SimpleArtistsController::loadView()
{
    makeMenuCell(16);
    TableLook look;
    look.rowHeight = 24;
    return makeListView(look);
}

void SimpleArtistsController::updateItems()
{
    loadRows([](const LibraryListing& listing) { return listing.artists(); });
}

void SimpleArtistsController::cellChosen()
{
    const BrowserRow* row = selectedRow();
    if (!row || !services_.library)
        return;
    const QString name = row->title;
    const ZNTMediaLibraryPlaylistPtr music = services_.library->masterMusicPlaylist();
    std::vector<ZNTMediaLibraryMediaItemPtr> tracks;
    for (const ZNTMediaLibraryMediaItemPtr& track : music ? music->items() : std::vector<ZNTMediaLibraryMediaItemPtr>{}) {
        if (track && track->artistName() == name)
            tracks.push_back(track);
    }
    NavigationViewControllerPtr next;
    if (services_.library->albumsFromTracks(tracks).size() < 2)
        next = SimpleSongsController::songsWithTracks(services_, std::move(tracks), name, SimpleSongsController::Order::trackNumber);
    else
        next = SimpleAlbumsController::albumsWithTracks(services_, std::move(tracks), name);
    pushAboveThis(std::move(next));
}
