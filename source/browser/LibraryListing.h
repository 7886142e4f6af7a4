#pragma once
// The rows the songs, artists and albums lists make of one set of tracks,
// each made once, when a list first asks, and then shared. Every list of the
// library's music playlist shows the one listing of the playlist as it was
// read, until the library's tracks change: the sort keys and search texts of
// a library are worked out once, not once per list.

#include "source/browser/BrowserRow.h"

#include <functional>
#include <memory>

class LibraryListing {
public:
    enum class Master { music, movies, tvShows };

    // The listing of a master playlist whose tracks were just read: the one
    // made last for that playlist when it holds the same records, else a new
    // one that takes its place.
    static std::shared_ptr<LibraryListing> shared(Master master, std::vector<ZNTMediaLibraryMediaItemPtr> tracks);

    explicit LibraryListing(std::vector<ZNTMediaLibraryMediaItemPtr> tracks);
    ~LibraryListing();

    const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks() const { return tracks_; }
    // True when tracks are the same records as this listing's, in its order.
    bool holdsSameRecords(const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks) const;

    // The rows, made by the first caller (the others wait for it).
    SharedBrowserRows songsByTitle() const;
    SharedBrowserRows artists() const;
    SharedBrowserRows albums() const;

private:
    struct Made;

    const std::vector<ZNTMediaLibraryMediaItemPtr> tracks_;
    const std::unique_ptr<Made> made_;
};
