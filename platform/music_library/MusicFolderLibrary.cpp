#include "platform/music_library/MusicFolderLibrary.h"

#include "platform/foundation/Dispatch.h"
#include "platform/music_library/MusicFolderScan.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>

namespace tolvan {

namespace {

Error makeError(int code, const QString& message) { return Error{MusicFolderLibrary::kErrorDomain, code, message}; }

QByteArray toQByteArray(const TagLib::ByteVector& bytes) { return QByteArray(bytes.data(), int(bytes.size())); }

}  // namespace

QString MusicFolderLibrary::defaultMusicFolder() { return QStandardPaths::writableLocation(QStandardPaths::MusicLocation); }

QString MusicFolderLibrary::defaultIndexFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + "/music-folder-index.json";
}

std::shared_ptr<MusicFolderLibrary> MusicFolderLibrary::open(const QString& apiVersion, Error* error)
{
    return open(apiVersion, defaultMusicFolder(), defaultIndexFile(), error);
}

std::shared_ptr<MusicFolderLibrary> MusicFolderLibrary::open(const QString& apiVersion, const QString& musicFolder,
                                                             const QString& indexFile, Error* error)
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
    music::FolderIndex index = music::readIndex(indexFile, folder);
    if (index.tracks.empty() && !music::containsAudio(folder))
        return fail(noAudio, QStringLiteral("The Music folder at \"%1\" holds no audio files.").arg(folder));

    std::shared_ptr<MusicFolderLibrary> library(new MusicFolderLibrary(folder, indexFile));
    library->contents_.store(music::makeContents(index));
    library->startScan();
    return library;
}

MusicFolderLibrary::MusicFolderLibrary(QString folder, QString indexFile)
    : folder_(std::move(folder)), indexFile_(std::move(indexFile))
{
}

MusicFolderLibrary::~MusicFolderLibrary()
{
    stopping_ = true;
    if (scanThread_.joinable())
        scanThread_.join();
}

std::shared_ptr<const MusicLibraryContents> MusicFolderLibrary::contents() const { return contents_.load(); }

void MusicFolderLibrary::setScanFinishedHandler(std::function<void()> handler)
{
    std::lock_guard lock(handlerMutex_);
    scanFinished_ = std::move(handler);
}

void MusicFolderLibrary::startScan()
{
    scanning_ = true;
    scanThread_ = std::thread([this] {
        setCurrentThreadName("com.kestrova.musicFolderScan");
        scan();
    });
}

void MusicFolderLibrary::scan()
{
    const music::FolderIndex previous = music::readIndex(indexFile_, folder_);
    const music::FolderIndex index = music::scanFolder(folder_, previous, stopping_);
    if (stopping_) {
        scanning_ = false;
        return;
    }
    music::writeIndex(indexFile_, index);
    publish(music::makeContents(index));
}

void MusicFolderLibrary::publish(std::shared_ptr<const MusicLibraryContents> contents)
{
    contents_.store(std::move(contents));
    std::function<void()> handler;
    {
        std::lock_guard lock(handlerMutex_);
        handler = scanFinished_;
    }
    scanning_ = false;
    if (handler)
        handler();
}

QByteArray MusicFolderLibrary::artworkForMediaFile(const QString& path)
{
    const QByteArray encodedPath = QFile::encodeName(path);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "mp3") {
        TagLib::MPEG::File file(encodedPath.constData(), false);
        if (file.isValid() && file.hasID3v2Tag()) {
            for (TagLib::ID3v2::Frame* frame : file.ID3v2Tag()->frameList("APIC")) {
                if (auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame))
                    return toQByteArray(picture->picture());
            }
        }
    } else if (suffix == "m4a" || suffix == "m4b" || suffix == "mp4" || suffix == "aac") {
        TagLib::MP4::File file(encodedPath.constData(), false);
        if (file.isValid() && file.hasMP4Tag() && file.tag()->contains("covr")) {
            const TagLib::MP4::CoverArtList covers = file.tag()->item("covr").toCoverArtList();
            if (!covers.isEmpty())
                return toQByteArray(covers.front().data());
        }
    } else if (suffix == "flac") {
        TagLib::FLAC::File file(encodedPath.constData(), false);
        if (file.isValid() && !file.pictureList().isEmpty())
            return toQByteArray(file.pictureList().front()->data());
    }
    return {};
}

}  // namespace tolvan
