// Reads the input as the music library's XML property list, directly and
// through the library that loads it in the background, then walks every
// record the library browser shows.

#include "fuzz/FuzzSupport.h"

#include "platform/foundation/UserDefaults.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/media_library/XMLLibraryFile.h"
#include "source/media_library/XMLMediaLibrary.h"

#include <QTemporaryDir>

using namespace tolvan;

namespace {

void walkItem(const ZNTMediaLibraryMediaItem& item)
{
    (void)item.title();
    (void)item.sortTitle();
    if (auto artist = item.artist())
        (void)artist->sortName();
    if (auto album = item.album())
        (void)album->sortTitle();
    (void)item.genre();
    (void)item.locationType();
    (void)item.location();
    (void)item.trackNumber();
    // No artwork: a location in the file may name any file of this machine.
}

void walkPlaylist(const ZNTMediaLibraryPlaylistPtr& playlist)
{
    if (!playlist)
        return;
    (void)playlist->sortName();
    (void)playlist->master();
    (void)playlist->visible();
    (void)playlist->distinguishedKind();
    for (const auto& item : playlist->items())
        walkItem(*item);
}

void walkLibrary(const XMLMediaLibrary& library)
{
    (void)library.librarySize();
    (void)library.iTunesMediaPath();
    const QVariantList sources = library.allPlaylists();
    for (const QVariant& source : sources)
        (void)library.lookupPlaylistItems(source.toMap().value("Playlist Items").toList());
    for (const auto& playlist : library.userPlaylists())
        walkPlaylist(playlist);
    walkPlaylist(library.masterMusicPlaylist());
    walkPlaylist(library.masterMoviesPlaylist());
    walkPlaylist(library.masterTVShowsPlaylist());
    (void)library.playlistWithKey("Name", "Music");
    for (const auto& item : library.recentlyPlayedItems(10))
        walkItem(*item);
}

// The defaults that name the library file, whose path never changes: written
// once, not synchronised to disk again for every input.
UserDefaults& defaultsNaming(const QString& libraryPath)
{
    static QTemporaryDir folder;
    static UserDefaults defaults(folder.filePath("defaults.ini"));
    static const bool named = [&] {
        defaults.setValue("iTunesRecentDatabasePaths", QStringList{libraryPath});
        defaults.synchronize();
        return true;
    }();
    (void)named;
    return defaults;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz::freshFolder();
    const QString path = fuzz::writeFile("Library.xml", QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));

    QString failure;
    (void)readXMLLibraryFile(path, &failure);

    {
        XMLMediaLibrary library(defaultsNaming(path));
        fuzz::processEventsUntil([&] { return !library.loading(); });
        walkLibrary(library);
    }
    fuzz::settle();
    // The library logs what it finds amiss; emptied after each input, the
    // log does not grow from one input to the next.
    ZNTAnalytics::resetForTesting();
    return 0;
}
