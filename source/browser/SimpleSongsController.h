#pragma once
// The leaf list of the browser: tracks from which the user opens a song. It
// serves the main menu's Songs, Movies and TV Shows rows and every list of
// songs pushed from an artist, an album or a playlist. Only file tracks are
// listed; the filter looks in the title, genre, artist and album.

#include "source/browser/BrowserListController.h"

class SimpleSongsController : public BrowserListController {
    Q_OBJECT
public:
    enum class Look { simple, detailed };
    // By title (the browser's title order), as given, or by track number.
    enum class Order { title, given, trackNumber };

    static std::shared_ptr<SimpleSongsController> songs(const BrowserServices& services);
    static std::shared_ptr<SimpleSongsController> movies(const BrowserServices& services);
    static std::shared_ptr<SimpleSongsController> tvshows(const BrowserServices& services);
    static std::shared_ptr<SimpleSongsController> songsWithTracks(const BrowserServices& services, std::vector<ZNTMediaLibraryMediaItemPtr> tracks,
                                                                  const QString& title, Order order);
    static std::shared_ptr<SimpleSongsController> detailedSongsWithTracks(const BrowserServices& services,
                                                                          std::vector<ZNTMediaLibraryMediaItemPtr> tracks, const QString& title,
                                                                          Order order);

    SimpleSongsController(const BrowserServices& services, Look look, std::shared_ptr<ListTracks> tracks, Order order);

    // The rows of a songs list: the file tracks among tracks, in the order.
    static BrowserRows buildContent(const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks, Order order);

    Look look() const { return look_; }
    Order order() const { return order_; }
    void updateItems();

    // Selects the first arranged track titled exactly name and opens it.
    void scrollToAndSelectSongNamed(const QString& name);

    bool filtersBySearchString() const override { return true; }
    void selectionChangedTo(const TolvanSourcePtr& source) override;
    void controllerWillBecomeHidden() override;
    QMenu* tableMenuForPoint(const QPoint& point) override;

protected:
    QWidget* loadView() override;
    void cellChosen() override;

private:
    const Look look_;
    const Order order_;
};
