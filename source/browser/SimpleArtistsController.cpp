#include "source/browser/SimpleArtistsController.h"

#include "platform/foundation/Localizer.h"
#include "source/browser/SimpleAlbumsController.h"
#include "source/browser/SimpleSongsController.h"
#include "source/browser/TitleSortDescriptor.h"
#include "ZNTUtilities/Binding.h"
#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/UIColorManager.h"

#include <QSet>

SimpleArtistsController::SimpleArtistsController(const BrowserServices& services)
    : BrowserListController(services, std::make_shared<ListTracks>(ListTracks::Master::music))
{
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
    for (const QString& name : names)
        rows.emplace_back(QVariantMap{{"title", name}, {"hasChildren", true}});
    TitleSortDescriptor(QStringLiteral("title")).sort(rows);
    indexForSearch(rows, {QStringLiteral("title")});
    return rows;
}

QWidget* SimpleArtistsController::loadView()
{
    cell_ = std::make_unique<SimpleMenuCell>();
    cell_->font = interfaceFont(16);
    bindProperty(cell_.get(), "textColor", UIColorManager::sharedManager(), "tableTextColor");
    TableLook look;
    look.cell = cell_.get();
    look.rowHeight = 24;
    return makeListView(look);
}

void SimpleArtistsController::updateItems()
{
    loadRows([](const ZNTMediaLibrary&, const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks) { return buildRows(tracks); });
}

void SimpleArtistsController::cellChosen()
{
    const BrowserRow* row = selectedRow();
    if (!row || !services_.library)
        return;
    const QString name = row->string(QStringLiteral("title"));
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
