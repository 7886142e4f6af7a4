#include "source/browser/SimpleAlbumsController.h"

#include "platform/foundation/Localizer.h"
#include "source/browser/SimpleSongsController.h"
#include "source/browser/BrowserCells.h"
#include "source/browser/BrowserListController_p.h"
#include "source/browser/TitleSortDescriptor.h"

#include <QSet>

namespace {

QString allSongsTitle() { return tolvan::localized("all songs item", "All Songs"); }

}  // namespace

SimpleAlbumsController::SimpleAlbumsController(const BrowserServices& services, std::shared_ptr<ListTracks> tracks, bool includeAllSongsItem)
    : BrowserListController(services, std::move(tracks)), includeAllSongsItem_(includeAllSongsItem)
{
    setSearch(Search::keptAcrossVisits);
}

std::shared_ptr<SimpleAlbumsController> SimpleAlbumsController::albums(const BrowserServices& services)
{
    auto list = std::make_shared<SimpleAlbumsController>(services, std::make_shared<ListTracks>(ListTracks::Master::music), false);
    list->setTitle(tolvan::localized("Albums"));
    list->updateItems();
    return list;
}

std::shared_ptr<SimpleAlbumsController> SimpleAlbumsController::albumsWithTracks(const BrowserServices& services,
                                                                                std::vector<ZNTMediaLibraryMediaItemPtr> tracks,
                                                                                const QString& artistName)
{
    auto list = std::make_shared<SimpleAlbumsController>(services, std::make_shared<ListTracks>(std::move(tracks)), true);
    list->setTitle(artistName);
    list->updateItems();
    return list;
}

BrowserRows SimpleAlbumsController::buildRows(const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks, std::optional<QString> allSongsArtist)
{
    struct Album {
        QString title, artist, sortTitle;
    };
    std::vector<Album> albums;
    QSet<QString> seen;
    seen.reserve(qsizetype(tracks.size()));
    for (const ZNTMediaLibraryMediaItemPtr& track : tracks) {
        if (!track || track->locationType() != ZNTMediaLibraryLocationTypeFile)
            continue;
        QString title = track->albumTitle();
        if (title.isNull())
            continue;
        const qsizetype known = seen.size();
        seen.insert(title);
        if (seen.size() != known)  // the album's first track
            albums.push_back({std::move(title), track->artistName(), {}});
    }
    // The albums are put in order first, so that each row is made in its
    // place. Albums whose sort titles collate alike go by their titles' code
    // units. The "All Songs" row is pinned: it comes first.
    const TitleSortDescriptor byTitle(BrowserRow::Text::sortTitle);
    const std::vector<quint32> order = byTitle.order(
        albums.size(),
        [&](std::size_t index) {
            albums[index].sortTitle = ZNTMediaLibrary::sortStringFromString(albums[index].title);
            return TitleSortDescriptor::Entry{false, albums[index].sortTitle};
        },
        [&](quint32 a, quint32 b) { return albums[a].title < albums[b].title; });
    const std::size_t first = allSongsArtist ? 1 : 0;
    BrowserRows rows(first + albums.size());
    if (allSongsArtist) {
        BrowserRow& row = rows.front();
        row.title = row.sortTitle = allSongsTitle();
        row.artist = *allSongsArtist;
        row.hasChildren = row.sortToTop = row.filterByArtist = row.onlyShowTitle = true;
        row.searchText = searchTextOf({row.title});
    }
    forEachSlice(albums.size(), 4096, [&](std::size_t begin, std::size_t end) {
        for (std::size_t index = begin; index < end; ++index) {
            Album& album = albums[order[index]];
            BrowserRow& row = rows[first + index];
            row.searchText = searchTextOf({album.title});
            row.title = std::move(album.title);
            row.artist = std::move(album.artist);
            row.sortTitle = std::move(album.sortTitle);
            row.hasChildren = true;
        }
    });
    return rows;
}

QWidget* SimpleAlbumsController::loadView()
{
    SimpleDetailedCell* cell = makeDetailedCell();
    cell->primaryKey = BrowserRow::Text::title;
    cell->secondaryKey = BrowserRow::Text::artist;
    TableLook look;
    look.rowHeight = 36;
    look.alternatingRows = true;
    look.grid = SimpleBrowserTable::GridStyle::solidHorizontal;
    return makeListView(look);
}

void SimpleAlbumsController::updateItems()
{
    const std::optional<QString> allSongsArtist = includeAllSongsItem_ ? std::optional<QString>(title()) : std::nullopt;
    loadRows([allSongsArtist](const LibraryListing& listing) {
        if (!allSongsArtist)
            return listing.albums();
        return sharedRows(buildRows(listing.tracks(), allSongsArtist));
    });
}

std::vector<ZNTMediaLibraryMediaItemPtr> SimpleAlbumsController::tracksOfRow(const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks,
                                                                             const BrowserRow& row)
{
    const bool allSongs = row.filterByArtist;
    const QString wanted = allSongs ? row.artist : row.title;
    std::vector<ZNTMediaLibraryMediaItemPtr> chosen;
    for (const ZNTMediaLibraryMediaItemPtr& track : tracks) {
        const QString value = !track ? QString() : (allSongs ? track->artistName() : track->albumTitle());
        if (!value.isNull() && value == wanted)
            chosen.push_back(track);
    }
    return chosen;
}

void SimpleAlbumsController::cellChosen()
{
    const BrowserRow* row = selectedRow();
    if (!row)
        return;
    const auto order = row->filterByArtist ? SimpleSongsController::Order::title : SimpleSongsController::Order::trackNumber;
    pushAboveThis(SimpleSongsController::songsWithTracks(services_, tracksOfRow(resolvedTracks(), *row), row->title, order));
}
