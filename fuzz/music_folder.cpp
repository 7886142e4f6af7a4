// Opens a Music folder that holds the input as a song and as .m3u and .m3u8
// playlists, with the input as the desktop's list of recently used files too,
// waits for the scan, and checks what it published.

#include "fuzz/FuzzSupport.h"

#include "platform/music_library/MusicFolderLibrary.h"
#include "platform/music_library/MusicFolderScan.h"
#include "platform/music_library/RecentlyUsedFiles.h"

#include <QDir>

#include <set>

using namespace tolvan;

namespace {

// The extensions a Music folder scan takes as songs.
constexpr std::initializer_list<const char*> kSongExtensions = {
    ".mp3", ".m4a", ".m4b", ".mp4", ".aac", ".flac", ".ogg", ".oga", ".opus", ".wav", ".aif", ".aiff", ".wv", ".ape", ".mpc", ".wma"};

void checkEntries(const QString& playlist)
{
    for (const QString& entry : music::readPlaylistEntries(playlist)) {
        if (!QDir::isAbsolutePath(entry) || QDir::cleanPath(entry) != entry)
            fuzz::fail("a playlist entry is not a cleaned absolute path");
    }
}

void checkPlayDates(const music::PlayDates& played, const QString& folder)
{
    for (auto date = played.cbegin(); date != played.cend(); ++date) {
        if (!date.key().startsWith(folder + '/') || QDir::cleanPath(date.key()) != date.key())
            fuzz::fail("a play date is kept for a path outside the folder or not cleaned");
        if (!date.value().isValid())
            fuzz::fail("a play date is not a valid date");
    }
}

void checkContents(const MusicLibraryContents& contents)
{
    std::set<const MusicTrack*> tracks;
    for (const auto& track : contents.tracks)
        tracks.insert(track.get());
    for (const auto& playlist : contents.playlists) {
        for (const auto& item : playlist->items) {
            if (!tracks.count(item.get()))
                fuzz::fail("a playlist holds a track that is not in the library");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz::freshFolder();
    const auto input = fuzz::splitExtension(data, size, kSongExtensions);
    const QString song = fuzz::writeFile("Music/song" + input.extension, input.bytes);
    checkEntries(fuzz::writeFile("Music/list.m3u", input.bytes));
    checkEntries(fuzz::writeFile("Music/Sub/list.m3u8", input.bytes));
    const QString folder = QFileInfo(song).path();
    const QString index = QFileInfo(folder).path() + "/index.json";
    const QString recentlyUsed = fuzz::writeFile("recently-used.xbel", input.bytes);
    checkPlayDates(music::readPlayDates(recentlyUsed, folder), folder);

    {
        Error error;
        auto library = MusicFolderLibrary::open("1.0", folder, index, recentlyUsed, &error);
        if (!library)
            fuzz::fail("a Music folder with a song in it does not open");
        library->setScanFinishedHandler(fuzz::wakeMainLoop);
        checkContents(*library->contents());
        fuzz::processEventsUntil([&] { return !library->isScanning(); });
        checkContents(*library->contents());
        (void)MusicFolderLibrary::artworkForMediaFile(song);
    }
    fuzz::settle();
    return 0;
}
