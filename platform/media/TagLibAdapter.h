#pragma once
// Our one crossing into TagLib: strings, bytes and file names in both
// directions; the embedded pictures of the files TagLib reads, with the one
// rule that picks a song's cover among them; and every read and write of a
// file's tags the rest of the program makes.

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace TagLib {
class ByteVector;
class File;
class String;
namespace ID3v2 { class AttachedPictureFrame; }
namespace MP4 { class CoverArt; }
}  // namespace TagLib

namespace tolvan {

// Strings cross as UTF-8: built from the UTF-8 bytes, read back as the
// null-terminated UTF-8 form.
TagLib::String toTagLibString(const QString& string);
QString fromTagLibString(const TagLib::String& string);

// MPEG-4 item keys are four Latin-1 bytes ("\251nam"), not text.
TagLib::String toTagLibKey(const QByteArray& key);
QByteArray fromTagLibKey(const TagLib::String& key);

TagLib::ByteVector toTagLibBytes(const QByteArray& bytes);
QByteArray fromTagLibBytes(const TagLib::ByteVector& bytes);

// The name TagLib opens a path by (the file system's encoding of it).
QByteArray tagLibFileName(const QString& path);

// Only regular files (or links to them) are opened: a FIFO would block the
// reader and a device never ends.
bool isRegularFile(const QString& path);

// The picture format numbers of an MPEG-4 cover.
enum class PictureFormat { unknown = 0, gif = 12, jpeg = 13, png = 14, bmp = 27 };

struct EmbeddedPicture {
    QString mimeType;  // as stored; for an MPEG-4 cover, that of its format
    PictureFormat format = PictureFormat::unknown;  // an MPEG-4 cover's stored number; else from the MIME type
    QByteArray bytes;
};

EmbeddedPicture pictureOf(const TagLib::ID3v2::AttachedPictureFrame& frame);
EmbeddedPicture pictureOf(const TagLib::MP4::CoverArt& cover);

// Every embedded picture of an opened file in stored order: the attached
// pictures of an ID3v2 tag (MPEG), the covers of an MPEG-4 "covr" item, and
// the picture blocks of FLAC and Ogg files.
std::vector<EmbeddedPicture> embeddedPictures(TagLib::File& file);

// The cover of a song file, decided by its extension (any case): for "mp3" the
// first attached picture of the ID3v2 tag, only when it is JPEG or PNG; for
// "m4a", "3gp", "aac", "m4b", "mp4", "m4v" and "mp4v" the first cover of
// "covr", whatever its format. None for any other file, a file that is not
// regular or does not parse, and an empty picture.
std::optional<EmbeddedPicture> songCoverPicture(const QString& path);

// The format an MPEG-4 cover of these bytes is stored with: JPEG and PNG are
// known by their signatures, anything else is unknown.
PictureFormat pictureFormatOfBytes(const QByteArray& bytes);

// --- Reading tags ---------------------------------------------------------

// The common tags of a song in any format TagLib reads; a missing or empty
// tag is an empty text, the sort names are the first TITLESORT, ARTISTSORT
// and ALBUMSORT properties.
struct SongTags {
    QString title, artist, album, genre;
    unsigned trackNumber = 0;
    QString sortTitle, sortArtist, sortAlbum;
};
// None when TagLib cannot open the file or it has no tag.
std::optional<SongTags> readSongTags(const QString& path);

// An ID3v2 frame or an MPEG-4 item under its own key: the frame ID ("TIT2")
// or the item's Latin-1 key ("\251nam").
struct NativeTagItem {
    QByteArray key;
    QVariant value;    // text, picture bytes or a number
    QString mimeType;  // a picture's
};
// The text frames ("T…"), comments and attached pictures of an MPEG audio
// file's ID3v2 tag in stored order; empty when the file has none.
std::vector<NativeTagItem> id3v2Items(const QString& path);
// The items of an MPEG-4 file's tag: a cover list as its first picture (an
// empty list is left out), text as its strings joined with ", ", anything
// else as a number.
std::vector<NativeTagItem> mp4Items(const QString& path);
// The text tags of a file in any format TagLib reads (FLAC, Ogg, WavPack,
// WAVE ...) under TagLib's property names ("TITLE", "ARTIST", "DATE" ...),
// each with its values joined with ", ", in the names' order. A picture is
// never a property, so its description never reads as a tag. Empty when the
// file has no tags; none when TagLib cannot open it.
std::optional<std::vector<NativeTagItem>> propertyItems(const QString& path);
// Each item of the tag of a file opened by its extension, when that is an
// MPEG-4 tag, with its value read as a number (0 for what is not one).
std::vector<std::pair<QString, int>> mp4ItemNumbers(const QString& path);

// --- Writing tags ---------------------------------------------------------

// Reads length bytes of a file at offset (fewer at its end).
using ReadFileBytes = std::function<QByteArray(qint64 offset, qint64 length)>;

// Sets MPEG-4 items on a file of which only the end, from tailStart on, is in
// memory: TagLib edits the movie box there (TailStream) and the changed end
// is answered. An item's value: for "covr" picture bytes, for "stik" a
// one-byte number, else text or a number; other values are passed over.
// None, with the reason, when the file does not parse or the items would
// change bytes before the tail.
std::optional<QByteArray> mp4TailWithItems(qint64 tailStart, const QByteArray& tail, const ReadFileBytes& readBefore,
                                           const std::vector<std::pair<QByteArray, QVariant>>& items, QString* failure);

// Tag changes for a file in any format TagLib writes; what is not set stays.
struct TagChanges {
    std::optional<QString> title, artist, album, comment;
    std::optional<EmbeddedPicture> mp4Cover;  // the only cover, for an MPEG-4 file
};
// Opens the file by its extension, makes the changes and saves it; false when
// it cannot be opened, has no tag or the save fails.
bool writeTags(const QString& path, const TagChanges& changes);

}  // namespace tolvan
