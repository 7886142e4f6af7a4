#include "source/browser/SimplePlaylistsController.h"

#include "platform/foundation/Localizer.h"
#include "source/browser/SimpleSongsController.h"
#include "source/browser/TitleSortDescriptor.h"
#include "ZNTUtilities/Binding.h"
#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/UIColorManager.h"

SimplePlaylistsController::SimplePlaylistsController(const BrowserServices& services) : BrowserListController(services) {}

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
        rows.emplace_back(QVariantMap{{"title", playlist->name()},
                                      {"sortTitle", playlist->sortName()},
                                      {"playlist", QVariant::fromValue(playlist)},
                                      {"hasChildren", true}});
    }
    TitleSortDescriptor(QStringLiteral("sortTitle")).sort(rows);
    indexForSearch(rows, {QStringLiteral("title")});
    return rows;
}

QWidget* SimplePlaylistsController::loadView()
{
    cell_ = std::make_unique<SimpleMenuCell>();
    cell_->font = interfaceFont(16);
    bindProperty(cell_.get(), "textColor", UIColorManager::sharedManager(), "tableTextColor");
    TableLook look;
    look.cell = cell_.get();
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
    const auto playlist = row->value(QStringLiteral("playlist")).value<ZNTMediaLibraryPlaylistPtr>();
    if (!playlist)
        return;
    pushAboveThis(SimpleSongsController::detailedSongsWithTracks(services_, playlist->items(), playlist->name(), SimpleSongsController::Order::given));
}
