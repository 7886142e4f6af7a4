#pragma once
// The music library's XML property list, read into compact records: the keys
// the application uses of every track, the playlists with their scalar values
// and track IDs, and the scalar values of the root dictionary. A value of the
// wrong type reads as absent.

#include <QHash>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>
#include <vector>

struct XMLTrack {
    std::optional<qint64> trackID;
    QString trackType;  // "File" for the library's files
    QString name, sortName;
    QString artist, sortArtist;
    QString album, sortAlbum;
    QString genre;
    QString location;  // the URL string as written
    bool isProtected = false;
    std::optional<qint64> trackNumber;
    std::optional<qint64> playDateUTC;  // milliseconds since the epoch

    bool isFile() const { return trackType == QLatin1String("File"); }
};
using XMLTrackPtr = std::shared_ptr<const XMLTrack>;

struct XMLPlaylist {
    QVariantMap properties;             // every value except "Playlist Items"
    std::vector<qint64> itemTrackIDs;   // "Playlist Items" entries that have a track ID, in order

    QString name() const;
    std::optional<bool> boolValue(const QString& key) const;
    std::optional<qint64> integerValue(const QString& key) const;
    QString stringValue(const QString& key) const;
};
using XMLPlaylistPtr = std::shared_ptr<const XMLPlaylist>;

// "Tracks": every track in file order, and the tracks by the number their key
// spells (tracks are looked up by the decimal string of a track ID).
struct XMLTrackTable {
    std::vector<XMLTrackPtr> all;
    QHash<qint64, XMLTrackPtr> byKey;

    std::size_t size() const { return all.size(); }
};

struct XMLLibraryFile {
    QVariantMap root;  // the root's values other than "Tracks" and "Playlists"
    std::optional<XMLTrackTable> tracks;
    std::optional<std::vector<XMLPlaylistPtr>> playlists;

    XMLTrackPtr trackForID(qint64 trackID) const;
};

// Reads the file; nullopt, with failure filled, when it cannot be read, changes
// while it is read, is not a well-formed property list, or its root is not a
// dictionary.
std::optional<XMLLibraryFile> readXMLLibraryFile(const QString& path, QString* failure = nullptr);

Q_DECLARE_METATYPE(XMLTrackPtr)
Q_DECLARE_METATYPE(XMLPlaylistPtr)
