#include "platform/music_library/MusicFolderLibrary.h"

#include "platform/foundation/Dispatch.h"
#include "platform/media/TagLibAdapter.h"
#include "platform/music_library/MusicFolderScan.h"
#include "platform/music_library/RecentlyUsedFiles.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <atomic>
#include <mutex>

namespace tolvan {

namespace {

Error makeError(int code, const QString& message) { return Error{MusicFolderLibrary::kErrorDomain, code, message}; }

}  // namespace

struct MusicFolderLibrary::State {
    // One immutable snapshot behind one lock: a reader takes the pointer, a
    // scan publishes a new one (the old one is let go of outside the lock).
    std::shared_ptr<const MusicLibraryContents> snapshot() const
    {
        std::lock_guard lock(contentsMutex);
        return contents;
    }
    void publish(std::shared_ptr<const MusicLibraryContents> next)
    {
        std::lock_guard lock(contentsMutex);
        contents.swap(next);
    }

    mutable std::mutex contentsMutex;
    std::shared_ptr<const MusicLibraryContents> contents;
    std::mutex handlerMutex;
    std::function<void()> scanFinished;
    std::atomic<bool> scanning{false};
    std::atomic<bool> stopping{false};
    // Last, so that it is destroyed (and its scan waited for) before the rest.
    std::unique_ptr<SerialQueue> scanQueue;
};

QString MusicFolderLibrary::defaultMusicFolder() { return QStandardPaths::writableLocation(QStandardPaths::MusicLocation); }

QString MusicFolderLibrary::defaultIndexFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/music-folder-index.json";
}

std::shared_ptr<MusicFolderLibrary> MusicFolderLibrary::open(const QString& apiVersion, Error* error)
{
    return open(apiVersion, defaultMusicFolder(), defaultIndexFile(), music::defaultRecentlyUsedFile(), error);
}

std::shared_ptr<MusicFolderLibrary> MusicFolderLibrary::open(const QString& apiVersion, const QString& musicFolder,
                                                             const QString& indexFile, const QString& recentlyUsedFile,
                                                             Error* error)
{
    auto fail = [error](int code, const QString& message) {
        if (error)
            *error = makeError(code, message);
        return nullptr;
    };
    if (apiVersion.section('.', 0, 0) != "1")
        return fail(unsupportedVersion, QStringLiteral("The API version %1 is not supported.").arg(apiVersion));
    if (musicFolder.isEmpty() || !QFileInfo(musicFolder).isDir())
        return fail(noMusicFolder, QStringLiteral("There is no Music folder at \"%1\".").arg(musicFolder));

    const QString folder = QFileInfo(musicFolder).absoluteFilePath();
    // A large library's index takes long to read, so the scan's queue reads
    // it; only a folder without audio needs it here, to know whether songs
    // were kept from before.
    if (!music::containsAudio(folder) && music::readIndex(indexFile, folder).tracks.empty())
        return fail(noAudio, QStringLiteral("The Music folder at \"%1\" holds no audio files.").arg(folder));

    std::shared_ptr<MusicFolderLibrary> library(new MusicFolderLibrary(folder, indexFile, recentlyUsedFile));
    library->state_->publish(music::makeContents(music::FolderIndex{}));
    library->startScan();
    return library;
}

MusicFolderLibrary::MusicFolderLibrary(QString folder, QString indexFile, QString recentlyUsedFile)
    : folder_(std::move(folder)), indexFile_(std::move(indexFile)), recentlyUsedFile_(std::move(recentlyUsedFile)),
      state_(std::make_unique<State>())
{
}

MusicFolderLibrary::~MusicFolderLibrary()
{
    state_->stopping = true;
    state_->scanQueue.reset();
}

std::shared_ptr<const MusicLibraryContents> MusicFolderLibrary::contents() const { return state_->snapshot(); }

bool MusicFolderLibrary::isScanning() const { return state_->scanning; }

void MusicFolderLibrary::setScanFinishedHandler(std::function<void()> handler)
{
    std::lock_guard lock(state_->handlerMutex);
    state_->scanFinished = std::move(handler);
}

void MusicFolderLibrary::startScan()
{
    state_->scanning = true;
    state_->scanQueue = std::make_unique<SerialQueue>("com.kestrova.musicFolderScan");
    state_->scanQueue->async([this] { scan(); });
}

void MusicFolderLibrary::scan()
{
    const music::FolderIndex previous = music::readIndex(indexFile_, folder_);
    state_->publish(music::makeContents(previous));  // the songs kept from before, while the scan runs
    const music::FolderIndex index = music::scanFolder(folder_, previous, [this] { return state_->stopping.load(); });
    if (state_->stopping) {
        state_->scanning = false;
        return;
    }
    music::writeIndex(indexFile_, index);
    publish(music::makeContents(index, music::readPlayDates(recentlyUsedFile_, folder_)));
}

void MusicFolderLibrary::publish(std::shared_ptr<const MusicLibraryContents> contents)
{
    state_->publish(std::move(contents));
    std::function<void()> handler;
    {
        std::lock_guard lock(state_->handlerMutex);
        handler = state_->scanFinished;
    }
    state_->scanning = false;
    if (handler)
        handler();
}

QByteArray MusicFolderLibrary::artworkForMediaFile(const QString& path)
{
    const std::optional<EmbeddedPicture> picture = songCoverPicture(path);
    return picture ? picture->bytes : QByteArray();
}

}  // namespace tolvan
