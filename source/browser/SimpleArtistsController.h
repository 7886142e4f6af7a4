#pragma once
// Every artist with at least one song file in the library, by name. Choosing
// one opens the artist's albums, or the artist's songs at once when they span
// fewer than two albums.

#include "source/browser/BrowserListController.h"

class SimpleArtistsController : public BrowserListController {
    Q_OBJECT
public:
    static std::shared_ptr<SimpleArtistsController> artists(const BrowserServices& services);
    explicit SimpleArtistsController(const BrowserServices& services);

    // One row per distinct artist name (exact spelling) among the file
    // tracks, in title order.
    static BrowserRows buildRows(const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks);

    void updateItems();

protected:
    QWidget* loadView() override;
    void cellChosen() override;
};
