#pragma once
// The tracks of a browser list, shared by the list and its load jobs.

#include "source/browser/LibraryListing.h"

#include <mutex>
#include <optional>

// The tracks a list shows: given when the list is made, or read from one of
// the library's master playlists once the library has finished loading (a
// playlist taken while it loads would stay empty). A master playlist's tracks
// come with the listing every list of that playlist shares. Resolved on the
// list's queue, read on the main thread.
class ListTracks {
public:
    using Master = LibraryListing::Master;
    explicit ListTracks(std::vector<ZNTMediaLibraryMediaItemPtr> tracks) : given_(std::move(tracks)) {}
    explicit ListTracks(Master master) : master_(master) {}

    // The listing of the tracks, reading the master playlist on first use.
    std::shared_ptr<LibraryListing> resolve(const ZNTMediaLibrary& library);
    // What has been resolved so far (nothing before the first load).
    std::vector<ZNTMediaLibraryMediaItemPtr> current() const;

private:
    mutable std::mutex mutex_;
    std::optional<std::vector<ZNTMediaLibraryMediaItemPtr>> given_;
    std::shared_ptr<LibraryListing> listing_;
    Master master_ = Master::music;
};
