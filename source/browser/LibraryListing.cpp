#include "source/browser/LibraryListing.h"

#include "source/browser/SimpleAlbumsController.h"
#include "source/browser/SimpleArtistsController.h"
#include "source/browser/SimpleSongsController.h"

#include <mutex>

namespace {

// Rows made once: the first caller makes them, later ones share them.
struct OnceRows {
    std::once_flag once;
    SharedBrowserRows rows;

    SharedBrowserRows get(const std::function<BrowserRows()>& make)
    {
        std::call_once(once, [&] { rows = sharedRows(make()); });
        return rows;
    }
};

// The listing made last for each master playlist.
struct LastListings {
    std::mutex mutex;
    std::shared_ptr<LibraryListing> listings[3];
};

LastListings& lastListings()
{
    static LastListings last;
    return last;
}

}  // namespace

struct LibraryListing::Made {
    OnceRows songs, artists, albums;
};

LibraryListing::LibraryListing(std::vector<ZNTMediaLibraryMediaItemPtr> tracks) : tracks_(std::move(tracks)), made_(std::make_unique<Made>()) {}

LibraryListing::~LibraryListing() = default;

std::shared_ptr<LibraryListing> LibraryListing::shared(Master master, std::vector<ZNTMediaLibraryMediaItemPtr> tracks)
{
    LastListings& last = lastListings();
    std::lock_guard lock(last.mutex);
    std::shared_ptr<LibraryListing>& listing = last.listings[int(master)];
    if (!listing || !listing->holdsSameRecords(tracks))
        listing = std::make_shared<LibraryListing>(std::move(tracks));
    return listing;
}

bool LibraryListing::holdsSameRecords(const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks) const
{
    return std::equal(tracks.begin(), tracks.end(), tracks_.begin(), tracks_.end(), [](const auto& a, const auto& b) {
        return a == b || (a && b && a->record() == b->record());
    });
}

SharedBrowserRows LibraryListing::songsByTitle() const
{
    return made_->songs.get([this] { return SimpleSongsController::buildContent(tracks_, SimpleSongsController::Order::title); });
}

SharedBrowserRows LibraryListing::artists() const
{
    return made_->artists.get([this] { return SimpleArtistsController::buildRows(tracks_); });
}

SharedBrowserRows LibraryListing::albums() const
{
    return made_->albums.get([this] { return SimpleAlbumsController::buildRows(tracks_, std::nullopt); });
}
