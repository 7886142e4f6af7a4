// tolvan-bench music-folder FOLDER RECENTLY_USED: times a scan of a Music
// folder whose index is warm (the load a later start of the application
// waits for) with the given list of recently used files and without one, and
// the reading of the list's play dates alone.

#include "bench/BenchCommand.h"
#include "platform/music_library/MusicFolderLibrary.h"
#include "platform/music_library/RecentlyUsedFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

// Seconds from opening the folder until its scan has published; -1 when it
// does not open.
double scanSeconds(const QString& folder, const QString& indexFile, const QString& recentlyUsedFile, qsizetype* played)
{
    QElapsedTimer timer;
    timer.start();
    tolvan::Error error;
    auto library = tolvan::MusicFolderLibrary::open("1.0", folder, indexFile, recentlyUsedFile, &error);
    if (!library)
        return -1;
    while (library->isScanning())
        QThread::usleep(200);
    const double seconds = timer.nsecsElapsed() / 1e9;
    *played = 0;
    for (const tolvan::MusicTrackPtr& track : library->contents()->tracks)
        *played += track->lastPlayedDate.has_value();
    return seconds;
}

int musicFolder(const QStringList& arguments)
{
    if (arguments.size() != 2 || !QFileInfo(arguments[0]).isDir() || !QFileInfo(arguments[1]).isFile()) {
        std::fprintf(stderr, "usage: tolvan-bench music-folder FOLDER RECENTLY_USED\n");
        return 2;
    }
    const QString folder = QFileInfo(arguments[0]).absoluteFilePath();
    const QString recentlyUsed = arguments[1];
    QTemporaryDir scratch;
    const QString index = scratch.filePath("index.json");
    const QString noList = scratch.filePath("none.xbel");

    qsizetype played = 0;
    if (scanSeconds(folder, index, noList, &played) < 0)
        return 1;  // the cold scan that fills the index
    const double withoutList = scanSeconds(folder, index, noList, &played);
    const double withList = scanSeconds(folder, index, recentlyUsed, &played);

    QElapsedTimer timer;
    timer.start();
    const qsizetype dated = tolvan::music::readPlayDates(recentlyUsed, folder).size();
    const double readSeconds = timer.nsecsElapsed() / 1e9;

    std::printf("{\"command\":\"music-folder\",\"scanSeconds\":%.4f,\"scanWithoutListSeconds\":%.4f,"
                "\"playDatesSeconds\":%.4f,\"listBytes\":%lld,\"playedTracks\":%lld,\"datedFiles\":%lld,\"peakBytes\":%lld}\n",
                withList, withoutList, readSeconds, static_cast<long long>(QFileInfo(recentlyUsed).size()),
                static_cast<long long>(played), static_cast<long long>(dated), tolvan::bench::peakResidentBytes());
    return 0;
}

const tolvan::bench::Registration musicFolderCommand("music-folder", musicFolder);

}  // namespace
