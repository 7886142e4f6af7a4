// tolvan-bench browse FILE.xml: loads a music library XML file, then times
// what the browser does with it: building the songs, artists and albums
// lists as the first list of each kind builds them on its queue (reading the
// tracks, then the rows of a fresh listing), a second songs list that finds
// the library's listing made, the reading of the tracks alone, handing the
// songs rows to a list's model on the main thread, and answering each
// keystroke of a typed filter over the songs list. The peer is a plain sort
// of the same titles by code point, the least any list build could cost.

#include "bench/BenchCommand.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "source/browser/BrowserListModel.h"
#include "source/browser/LibraryListing.h"
#include "source/media_library/XMLMediaLibrary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <optional>
#include <cstdio>

namespace {

template <class Work>
double secondsFor(Work&& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e9;
}

int browse(const QStringList& arguments)
{
    if (arguments.isEmpty() || arguments.size() > 2 || !QFileInfo(arguments[0]).isFile()) {
        std::fprintf(stderr, "usage: tolvan-bench browse FILE.xml [TYPED]\n");
        return 2;
    }
    const QString typed = arguments.size() > 1 ? arguments[1] : QStringLiteral("night river");
    QTemporaryDir scratch;
    tolvan::UserDefaults defaults(scratch.filePath("defaults.ini"));
    defaults.setValue("iTunesRecentDatabasePaths", QStringList{QFileInfo(arguments[0]).absoluteFilePath()});
    XMLMediaLibrary library(defaults);
    auto token = tolvan::NotificationCenter::defaultCenter().addObserver(kMusicLibraryDidLoadNotification, &library,
                                                                         [](const tolvan::Notification&) { QCoreApplication::quit(); });
    QCoreApplication::exec();
    auto tracks = [&] {
        const ZNTMediaLibraryPlaylistPtr music = library.masterMusicPlaylist();
        return music ? music->items() : std::vector<ZNTMediaLibraryMediaItemPtr>{};
    };

    SharedBrowserRows songs, artists, albums;
    using Master = LibraryListing::Master;
    // Each list keeps its listing (and with it the tracks) while it is shown.
    std::optional<LibraryListing> forSongs, forArtists, forAlbums;
    const double songsSeconds = secondsFor([&] { songs = forSongs.emplace(tracks()).songsByTitle(); });
    const double artistsSeconds = secondsFor([&] { artists = forArtists.emplace(tracks()).artists(); });
    const double albumsSeconds = secondsFor([&] { albums = forAlbums.emplace(tracks()).albums(); });

    // A second songs list, opened once the first has made the library's listing.
    LibraryListing::shared(Master::music, tracks())->songsByTitle();
    const double songsWarmSeconds = secondsFor([&] { LibraryListing::shared(Master::music, tracks())->songsByTitle(); });
    // The part of each build that wraps the library's tracks as media items.
    const double tracksSeconds = secondsFor([&] { tracks(); });

    QStringList titles;
    for (const BrowserRow& row : songs->rows)
        titles << row.title;
    const double peerSeconds = secondsFor([&] { std::sort(titles.begin(), titles.end()); });

    BrowserListModel model;
    BrowserFilterModel filter(&model);
    const std::size_t songCount = songs->rows.size();
    const double showSeconds = secondsFor([&] { model.setRows(songs); });
    double slowestKeystroke = 0, allKeystrokes = 0;
    int shown = 0;
    for (qsizetype length = 1; length <= typed.size(); ++length) {
        const double seconds = secondsFor([&] { filter.setSearchString(typed.left(length)); });
        slowestKeystroke = std::max(slowestKeystroke, seconds);
        allKeystrokes += seconds;
        shown = filter.rowCount();
    }

    std::printf("{\"command\":\"browse\",\"songs\":%zu,\"artists\":%zu,\"albums\":%zu,\"songsSeconds\":%.4f,\"artistsSeconds\":%.4f,"
                "\"albumsSeconds\":%.4f,\"songsWarmSeconds\":%.4f,\"tracksSeconds\":%.4f,\"showSeconds\":%.4f,\"peerSortSeconds\":%.4f,\"keystrokes\":%lld,\"slowestKeystrokeSeconds\":%.4f,"
                "\"meanKeystrokeSeconds\":%.4f,\"filteredSongs\":%d,\"peakBytes\":%lld}\n",
                songCount, artists->rows.size(), albums->rows.size(), songsSeconds, artistsSeconds, albumsSeconds, songsWarmSeconds, tracksSeconds, showSeconds, peerSeconds,
                static_cast<long long>(typed.size()), slowestKeystroke, allKeystrokes / std::max<qsizetype>(1, typed.size()), shown,
                tolvan::bench::peakResidentBytes());
    return songCount > 0 ? 0 : 1;
}

const tolvan::bench::Registration registerBrowse("browse", browse);

}  // namespace
