#pragma once
// The user's Music folder read as a music library: every audio file with its
// tags, the .m3u/.m3u8 playlists beside them, and one music playlist of all
// tracks. Opening answers at once from an index cache; the folder is scanned
// on the serial queue "com.kestrova.musicFolderScan" and each scan is published
// as one immutable snapshot.
// The library keeps no play history of its own: each scan takes the tracks'
// last-played dates from the desktop's list of recently used files.

#include "platform/foundation/Error.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tolvan {

// Location types of a media item.
enum class MusicLocationType : unsigned { unknown = 0, file = 1, remote = 2 };

struct MusicTrack {
    QString path;  // absolute, cleaned
    QUrl location;
    QString title, artist, album, genre;
    QString sortTitle, sortArtist, sortAlbum;  // null when the file has no sort tag
    unsigned trackNumber = 0;
    bool drmProtected = false;
    std::optional<QDateTime> lastPlayedDate;  // when the desktop last recorded the file's use
    qint64 fileSize = 0;
    qint64 modified = 0;  // milliseconds since the epoch, for the index cache

    MusicLocationType locationType() const { return MusicLocationType::file; }
};
using MusicTrackPtr = std::shared_ptr<const MusicTrack>;

struct MusicPlaylist {
    QString name;
    QString parentID;  // empty: no folders in a music folder
    bool master = false;
    bool visible = true;
    bool allItems = false;
    unsigned distinguishedKind = 0;  // 3 for the music playlist, 0 for playlist files
    std::vector<MusicTrackPtr> items;
};
using MusicPlaylistPtr = std::shared_ptr<const MusicPlaylist>;

struct MusicLibraryContents {
    std::vector<MusicTrackPtr> tracks;         // ordered by path
    std::vector<MusicPlaylistPtr> playlists;   // the music playlist first, then playlist files by name
};

class MusicFolderLibrary {
public:
    static constexpr unsigned kMusicDistinguishedKind = 3;
    static inline const QString kErrorDomain = QStringLiteral("MusicFolderLibraryErrorDomain");
    enum ErrorCode { unsupportedVersion = 1, noMusicFolder = 2, noAudio = 3 };

    // Opens the XDG music folder with its index in the cache location and the
    // play dates of the desktop's recently used files. Fails, filling error,
    // for an API version other than 1.x, a missing folder, or a folder without
    // audio files.
    static std::shared_ptr<MusicFolderLibrary> open(const QString& apiVersion, Error* error);
    static std::shared_ptr<MusicFolderLibrary> open(const QString& apiVersion, const QString& musicFolder,
                                                    const QString& indexFile, const QString& recentlyUsedFile,
                                                    Error* error);
    static QString defaultMusicFolder();
    static QString defaultIndexFile();

    ~MusicFolderLibrary();  // stops a running scan between two files and waits for it
    MusicFolderLibrary(const MusicFolderLibrary&) = delete;
    MusicFolderLibrary& operator=(const MusicFolderLibrary&) = delete;

    QString applicationVersion() const { return QStringLiteral("1.0"); }
    int apiMajorVersion() const { return 1; }
    int apiMinorVersion() const { return 0; }
    QUrl musicFolderLocation() const { return QUrl::fromLocalFile(folder_); }

    // The latest published snapshot; safe from any thread.
    std::shared_ptr<const MusicLibraryContents> contents() const;
    bool isScanning() const;

    // Runs on the scanning queue after each scan has published its snapshot.
    void setScanFinishedHandler(std::function<void()> handler);

    // The song's cover picture (encoded image bytes) as the engine's cover-art
    // reading finds it, or empty.
    static QByteArray artworkForMediaFile(const QString& path);

private:
    MusicFolderLibrary(QString folder, QString indexFile, QString recentlyUsedFile);
    void startScan();
    void scan();
    void publish(std::shared_ptr<const MusicLibraryContents> contents);

    struct State;

    const QString folder_;
    const QString indexFile_;
    const QString recentlyUsedFile_;
    std::unique_ptr<State> state_;
};

}  // namespace tolvan
