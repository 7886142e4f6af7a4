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
    BrowserRows rows;
    QSet<QString> seen;
    seen.reserve(qsizetype(tracks.size()));
    for (const ZNTMediaLibraryMediaItemPtr& track : tracks) {
        if (!track || track->locationType() != ZNTMediaLibraryLocationTypeFile)
            continue;
        QString album = track->albumTitle();
        if (album.isNull())
            continue;
        const qsizetype known = seen.size();
        seen.insert(album);
        if (seen.size() == known)
            continue;  // not the album's first track
        BrowserRow& row = rows.emplace_back();
        row.title = std::move(album);
        row.artist = track->artistName();
        row.hasChildren = true;
    }
    forEachSlice(rows.size(), 4096, [&](std::size_t begin, std::size_t end) {
        for (std::size_t index = begin; index < end; ++index) {
            rows[index].sortTitle = ZNTMediaLibrary::sortStringFromString(rows[index].title);
            rows[index].searchText = searchTextOf({rows[index].title});
        }
    });
    if (allSongsArtist) {
        BrowserRow& row = rows.emplace_back();
        row.title = row.sortTitle = allSongsTitle();
        row.artist = *allSongsArtist;
        row.hasChildren = row.sortToTop = row.filterByArtist = row.onlyShowTitle = true;
        row.searchText = searchTextOf({row.title});
    }
    // Albums whose sort titles collate alike go by their titles' code units.
    const TitleSortDescriptor order(BrowserRow::Text::sortTitle);
    applyOrder(rows, order.order(rows.size(), [&](std::size_t index) { return TitleSortDescriptor::Entry{rows[index].sortToTop, rows[index].sortTitle}; },
                                 [&](quint32 a, quint32 b) { return rows[a].title < rows[b].title; }));
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
