// tolvan-bench library FILE.xml: loads a music library XML file through
// XMLMediaLibrary and reports the seconds until "MusicLibraryDidLoad".
// tolvan-bench library-parse FILE.xml: the bare parse of the same file by the
// XML parser alone, the peer the load is measured against.

#include "bench/BenchCommand.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "source/media_library/XMLMediaLibrary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <pugixml.hpp>

#include <cstdio>

namespace {

int usage(const char* command)
{
    std::fprintf(stderr, "usage: tolvan-bench %s FILE.xml\n", command);
    return 2;
}

int loadLibrary(const QStringList& arguments)
{
    if (arguments.size() != 1 || !QFileInfo(arguments[0]).isFile())
        return usage("library");
    QTemporaryDir scratch;
    tolvan::UserDefaults defaults(scratch.filePath("defaults.ini"));
    defaults.setValue("iTunesRecentDatabasePaths", QStringList{QFileInfo(arguments[0]).absoluteFilePath()});

    QElapsedTimer timer;
    timer.start();
    XMLMediaLibrary library(defaults);
    double seconds = -1;
    auto token = tolvan::NotificationCenter::defaultCenter().addObserver(kMusicLibraryDidLoadNotification, &library, [&](const tolvan::Notification&) {
        seconds = timer.nsecsElapsed() / 1e9;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();

    const auto playlists = library.allPlaylists().size();
    std::printf("{\"command\":\"library\",\"seconds\":%.4f,\"tracks\":%llu,\"libraryTracks\":%zu,\"playlists\":%lld,\"peakBytes\":%lld}\n",
                seconds, static_cast<unsigned long long>(library.librarySize()), library.tracks().size(),
                static_cast<long long>(playlists), tolvan::bench::peakResidentBytes());
    return library.library() ? 0 : 1;
}

// The same work a parse needs with nothing made of the result: read the file,
// parse it in place, count the track dictionaries.
int parseOnly(const QStringList& arguments)
{
    if (arguments.size() != 1 || !QFileInfo(arguments[0]).isFile())
        return usage("library-parse");
    QElapsedTimer timer;
    timer.start();
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_file(QFile::encodeName(arguments[0]).constData(), pugi::parse_default | pugi::parse_embed_pcdata);
    long long tracks = 0;
    const pugi::xml_node root = document.document_element().first_child();
    for (pugi::xml_node key = root.first_child(); key; key = key.next_sibling().next_sibling()) {
        if (std::string_view(key.child_value()) == "Tracks") {
            for (pugi::xml_node entry = key.next_sibling().first_child(); entry; entry = entry.next_sibling())
                tracks += std::string_view(entry.name()) == "dict";
        }
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("{\"command\":\"library-parse\",\"seconds\":%.4f,\"tracks\":%lld,\"peakBytes\":%lld}\n", seconds, tracks,
                tolvan::bench::peakResidentBytes());
    return parsed ? 0 : 1;
}

const tolvan::bench::Registration library("library", loadLibrary);
const tolvan::bench::Registration libraryParse("library-parse", parseOnly);

}  // namespace
