#include "source/browser/SimpleAlbumsController.h"

#include "platform/foundation/Localizer.h"
#include "source/browser/SimpleSongsController.h"
#include "source/browser/TitleSortDescriptor.h"
#include "ZNTUtilities/UIColorManager.h"

namespace {

QString allSongsTitle() { return tolvan::localized("all songs item", "All Songs"); }

}  // namespace

SimpleAlbumsController::SimpleAlbumsController(const BrowserServices& services, std::shared_ptr<ListTracks> tracks, bool includeAllSongsItem)
    : BrowserListController(services, std::move(tracks)), includeAllSongsItem_(includeAllSongsItem)
{
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

BrowserRows SimpleAlbumsController::buildRows(const ZNTMediaLibrary& library, const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks,
                                              std::optional<QString> allSongsArtist)
{
    const QVariantMap albums = library.albumsFromTracks(tracks);
    BrowserRows rows;
    rows.reserve(std::size_t(albums.size()) + 1);
    for (const QVariant& album : albums) {
        QVariantMap row = album.toMap();
        row.insert("sortName", ZNTMediaLibrary::sortStringFromString(row.value("Album").toString()));
        row.insert("hasChildren", true);
        rows.emplace_back(std::move(row));
    }
    if (allSongsArtist) {
        const QString title = allSongsTitle();
        rows.emplace_back(QVariantMap{{"Album", title},
                                      {"sortName", title},
                                      {"Artist", *allSongsArtist},
                                      {"hasChildren", true},
                                      {"sortToTop", true},
                                      {"filterByArtist", true},
                                      {"onlyShowTitle", true}});
    }
    TitleSortDescriptor(QStringLiteral("sortName")).sort(rows);
    indexForSearch(rows, {QStringLiteral("Album")});
    return rows;
}

QWidget* SimpleAlbumsController::loadView()
{
    cell_ = std::make_unique<SimpleDetailedCell>();
    cell_->primaryKey = QStringLiteral("Album");
    cell_->secondaryKey = QStringLiteral("Artist");
    UIColorManager::bindDetailedCellToColors(cell_.get());
    TableLook look;
    look.cell = cell_.get();
    look.rowHeight = 36;
    look.alternatingRows = true;
    look.grid = SimpleBrowserTable::GridStyle::solidHorizontal;
    return makeListView(look);
}

void SimpleAlbumsController::updateItems()
{
    const std::optional<QString> allSongsArtist = includeAllSongsItem_ ? std::optional<QString>(title()) : std::nullopt;
    loadRows([allSongsArtist](const ZNTMediaLibrary& library, const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks) {
        return buildRows(library, tracks, allSongsArtist);
    });
}

std::vector<ZNTMediaLibraryMediaItemPtr> SimpleAlbumsController::tracksOfRow(const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks,
                                                                             const BrowserRow& row)
{
    const bool allSongs = row.flag(QStringLiteral("filterByArtist"));
    const QString wanted = row.string(allSongs ? QStringLiteral("Artist") : QStringLiteral("Album"));
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
    const auto order = row->flag(QStringLiteral("filterByArtist")) ? SimpleSongsController::Order::title : SimpleSongsController::Order::trackNumber;
    pushAboveThis(SimpleSongsController::songsWithTracks(services_, tracksOfRow(resolvedTracks(), *row), row->string(QStringLiteral("Album")), order));
}
