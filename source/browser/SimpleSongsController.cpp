#include "source/browser/SimpleSongsController.h"

#include "platform/foundation/Localizer.h"
#include "source/browser/TitleSortDescriptor.h"
#include "ZNTUtilities/Binding.h"
#include "ZNTUtilities/UIColorManager.h"

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

BrowserRows SimpleSongsController::buildContent(std::vector<ZNTMediaLibraryMediaItemPtr> tracks, Order order)
{
    BrowserRows rows;
    rows.reserve(tracks.size());
    for (ZNTMediaLibraryMediaItemPtr& track : tracks) {
        if (track && track->locationType() == ZNTMediaLibraryLocationTypeFile)
            rows.emplace_back(std::move(track));
    }
    switch (order) {
    case Order::title: TitleSortDescriptor(QStringLiteral("sortTitle")).sort(rows); break;
    case Order::trackNumber:
        std::stable_sort(rows.begin(), rows.end(), [](const BrowserRow& a, const BrowserRow& b) { return a.track()->trackNumber() < b.track()->trackNumber(); });
        break;
    case Order::given: break;
    }
    indexForSearch(rows, {QStringLiteral("title"), QStringLiteral("genre"), QStringLiteral("artist.name"), QStringLiteral("album.title")});
    return rows;
}

QWidget* SimpleSongsController::loadView()
{
    TableLook look;
    if (look_ == Look::detailed) {
        auto cell = std::make_unique<SimpleDetailedCell>();
        cell->primaryKey = QStringLiteral("title");
        cell->secondaryKey = QStringLiteral("artist.name");
        cell->tertiaryKey = QStringLiteral("album.title");
        UIColorManager::bindDetailedCellToColors(cell.get());
        cell_ = std::move(cell);
        look.rowHeight = 36;
        look.grid = SimpleBrowserTable::GridStyle::solidHorizontal;
    } else {
        auto cell = std::make_unique<VerticallCenteredTextCell>();
        bindProperty(cell.get(), "textColor", UIColorManager::sharedManager(), "tableTextColor");
        cell_ = std::move(cell);
        look.rowHeight = 24;
    }
    look.cell = cell_.get();
    return makeListView(look);
}

void SimpleSongsController::updateItems()
{
    loadRows([order = order_](const ZNTMediaLibrary&, const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks) { return buildContent(tracks, order); });
    arrangedRows().setSearchString(searchString());
}

void SimpleSongsController::cellChosen()
{
    const BrowserRow* row = selectedRow();
    services_.openSource(row && row->track() ? TolvanSource::sourceWithMediaItem(row->track()) : nullptr);
}

void SimpleSongsController::selectionChangedTo(const TolvanSourcePtr& source)
{
    const BrowserRow* row = selectedRow();
    const QString selectedPath = row && row->track() ? pathOfURL(row->track()->location()) : QString();
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
        if (candidate && candidate->string(QStringLiteral("title")) == name) {
            tableView()->selectRow(row);
            cellChosen();
            return;
        }
    }
}

QMenu* SimpleSongsController::tableMenuForPoint(const QPoint& point)
{
    const BrowserRow* row = BrowserFilterModel::rowAt(tableView()->indexAt(point));
    if (!row || !row->track())
        return nullptr;
    auto* menu = new QMenu;
    QAction* reveal = menu->addAction(tolvan::localized("Reveal in Finder"));
    const QString path = pathOfURL(row->track()->location());
    BrowserHost* host = services_.host;
    connect(reveal, &QAction::triggered, menu, [host, path] {
        if (host)
            host->revealInFileViewer(path);
    });
    return menu;
}
