#pragma once
// Albums, each row the album's title over its artist, by the album's sort
// string. From the main menu it lists every album of the library; pushed from
// an artist it lists that artist's albums under a pinned "All Songs" row.

#include "source/browser/BrowserListController.h"

class SimpleAlbumsController : public BrowserListController {
    Q_OBJECT
public:
    static std::shared_ptr<SimpleAlbumsController> albums(const BrowserServices& services);
    static std::shared_ptr<SimpleAlbumsController> albumsWithTracks(const BrowserServices& services, std::vector<ZNTMediaLibraryMediaItemPtr> tracks,
                                                                    const QString& artistName);

    SimpleAlbumsController(const BrowserServices& services, std::shared_ptr<ListTracks> tracks, bool includeAllSongsItem);

    // One row per album title among the file tracks (its artist that of its
    // first track), and, for an artist, the pinned "All Songs" row, drawn
    // without a detail line, that opens the artist's songs.
    static BrowserRows buildRows(const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks, std::optional<QString> allSongsArtist);

    // The tracks a row opens: the artist's for "All Songs", else the album's.
    // A track without an artist or album belongs to no row, not even one
    // whose name is empty.
    static std::vector<ZNTMediaLibraryMediaItemPtr> tracksOfRow(const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks, const BrowserRow& row);

    bool includeAllSongsItem() const { return includeAllSongsItem_; }
    void updateItems();

protected:
    QWidget* loadView() override;
    void cellChosen() override;

private:
    const bool includeAllSongsItem_;
};
