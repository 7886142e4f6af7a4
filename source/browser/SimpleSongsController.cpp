#include "source/browser/SimpleSongsController.h"

#include "platform/foundation/Localizer.h"
#include "source/browser/BrowserCells.h"
#include "source/browser/BrowserListController_p.h"
#include "source/browser/TitleSortDescriptor.h"

#include <QMenu>

#include <algorithm>

namespace {

std::shared_ptr<SimpleSongsController> make(const BrowserServices& services, SimpleSongsController::Look look, std::shared_ptr<ListTracks> tracks,
                                            const QString& title, SimpleSongsController::Order order)
{
    auto list = std::make_shared<SimpleSongsController>(services, look, std::move(tracks), order);
    list->setTitle(title);
    list->updateItems();
    return list;
}

}  // namespace

SimpleSongsController::SimpleSongsController(const BrowserServices& services, Look look, std::shared_ptr<ListTracks> tracks, Order order)
    : BrowserListController(services, std::move(tracks)), look_(look), order_(order)
{
}

std::shared_ptr<SimpleSongsController> SimpleSongsController::songs(const BrowserServices& services)
{
    return make(services, Look::detailed, std::make_shared<ListTracks>(ListTracks::Master::music), tolvan::localized("Songs"), Order::title);
}

std::shared_ptr<SimpleSongsController> SimpleSongsController::movies(const BrowserServices& services)
{
    return make(services, Look::detailed, std::make_shared<ListTracks>(ListTracks::Master::movies), tolvan::localized("Movies"), Order::title);
}

std::shared_ptr<SimpleSongsController> SimpleSongsController::tvshows(const BrowserServices& services)
{
    return make(services, Look::detailed, std::make_shared<ListTracks>(ListTracks::Master::tvShows), tolvan::localized("TV Shows"), Order::title);
}

std::shared_ptr<SimpleSongsController> SimpleSongsController::songsWithTracks(const BrowserServices& services,
                                                                              std::vector<ZNTMediaLibraryMediaItemPtr> tracks, const QString& title,
                                                                              Order order)
{
    return make(services, Look::simple, std::make_shared<ListTracks>(std::move(tracks)), title, order);
}

std::shared_ptr<SimpleSongsController> SimpleSongsController::detailedSongsWithTracks(const BrowserServices& services,
                                                                                      std::vector<ZNTMediaLibraryMediaItemPtr> tracks,
                                                                                      const QString& title, Order order)
{
    return make(services, Look::detailed, std::make_shared<ListTracks>(std::move(tracks)), title, order);
}

BrowserRows SimpleSongsController::buildContent(const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks, Order order)
{
    std::vector<const ZNTMediaLibraryMediaItemPtr*> files;
    files.reserve(tracks.size());
    for (const ZNTMediaLibraryMediaItemPtr& track : tracks) {
        if (track && track->locationType() == ZNTMediaLibraryLocationTypeFile)
            files.push_back(&track);
    }
    // The tracks are put in order first (each sort title keyed once), so that
    // each row is made in its place; then the rows with the texts the filter
    // looks in. Both in slices across the cores.
    switch (order) {
    case Order::title: {
        const TitleSortDescriptor byTitle(BrowserRow::Text::sortTitle);
        applyOrder(files, byTitle.order(files.size(), [&](std::size_t index) { return TitleSortDescriptor::Entry{false, (*files[index])->sortTitle()}; }));
        break;
    }
    case Order::trackNumber:
        std::stable_sort(files.begin(), files.end(), [](const auto* a, const auto* b) { return (*a)->trackNumber() < (*b)->trackNumber(); });
        break;
    case Order::given: break;
    }
    BrowserRows rows(files.size());
    forEachSlice(files.size(), 4096, [&](std::size_t begin, std::size_t end) {
        for (std::size_t index = begin; index < end; ++index) {
            BrowserRow& row = rows[index];
            row.showTrack(*files[index]);
            row.searchText = searchTextOf({row.title, row.track->genre(), row.artist, row.album});
        }
    });
    return rows;
}

QWidget* SimpleSongsController::loadView()
{
    TableLook look;
    if (look_ == Look::detailed) {
        SimpleDetailedCell* cell = makeDetailedCell();
        cell->primaryKey = BrowserRow::Text::title;
        cell->secondaryKey = BrowserRow::Text::artist;
        cell->tertiaryKey = BrowserRow::Text::album;
        look.rowHeight = 36;
        look.grid = SimpleBrowserTable::GridStyle::solidHorizontal;
    } else {
        makeCenteredTextCell();
        look.rowHeight = 24;
    }
    return makeListView(look);
}

void SimpleSongsController::updateItems()
{
    loadRows([order = order_](const LibraryListing& listing) {
        if (order == Order::title)
            return listing.songsByTitle();
        return sharedRows(buildContent(listing.tracks(), order));
    });
    arrangedRows().setSearchString(searchString());
}

void SimpleSongsController::cellChosen()
{
    const BrowserRow* row = selectedRow();
    services_.openSource(row && row->track ? TolvanSource::sourceWithMediaItem(row->track) : nullptr);
}

void SimpleSongsController::selectionChangedTo(const TolvanSourcePtr& source)
{
    const BrowserRow* row = selectedRow();
    const QString selectedPath = row && row->track ? pathOfURL(row->track->location()) : QString();
    const QString openPath = source ? pathOfURL(source->mediaFileURL()) : QString();
    if (selectedPath.isEmpty() || selectedPath != openPath)
        clearSelection();
}

void SimpleSongsController::controllerWillBecomeHidden()
{
    clearSelection();
    emit clearSearchStringRequested();
}

void SimpleSongsController::scrollToAndSelectSongNamed(const QString& name)
{
    for (int row = 0; row < arrangedRows().rowCount(); ++row) {
        const BrowserRow* candidate = arrangedRows().rowAt(row);
        if (candidate && candidate->title == name) {
            tableView()->selectRow(row);
            cellChosen();
            return;
        }
    }
}

QMenu* SimpleSongsController::tableMenuForPoint(const QPoint& point)
{
    const BrowserRow* row = BrowserFilterModel::rowAt(tableView()->indexAt(point));
    if (!row || !row->track)
        return nullptr;
    auto* menu = new QMenu;
    QAction* reveal = menu->addAction(tolvan::localized("Reveal in Finder"));
    const QString path = pathOfURL(row->track->location());
    BrowserHost* host = services_.host;
    connect(reveal, &QAction::triggered, menu, [host, path] {
        if (host)
            host->revealInFileViewer(path);
    });
    return menu;
}
