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

    // {"title", "sortTitle", "playlist", "hasChildren"} per non-empty playlist.
    static BrowserRows buildRows(const std::vector<ZNTMediaLibraryPlaylistPtr>& playlists);
    void addItems();

    bool filtersBySearchString() const override { return true; }
    void controllerWillBecomeVisible() override { clearSelection(); }
    void controllerDidBecomeVisible() override { emit restoreSearchStringRequested(searchString()); }
    void controllerWillBecomeHidden() override { emit clearSearchStringRequested(); }

protected:
    QWidget* loadView() override;
    void cellChosen() override;

private:
    std::unique_ptr<SimpleMenuCell> cell_;
};
