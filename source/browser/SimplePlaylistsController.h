#pragma once
// The user's playlists that hold at least one item, by their sort names.
// Choosing one opens its tracks in the playlist's own order. The rows are read
// on the main thread when the view is made; a library still loading then
// fills the list when it has finished.

#include "source/browser/BrowserListController.h"

class SimplePlaylistsController : public BrowserListController {
    Q_OBJECT
public:
    static std::shared_ptr<SimplePlaylistsController> playlists(const BrowserServices& services);
    explicit SimplePlaylistsController(const BrowserServices& services);

    // A row per playlist that holds items, by its sort name.
    static BrowserRows buildRows(const std::vector<ZNTMediaLibraryPlaylistPtr>& playlists);
    void addItems();

protected:
    QWidget* loadView() override;
    void cellChosen() override;
};
