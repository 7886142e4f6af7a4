#pragma once
// Our one crossing into TagLib: strings, bytes and file names in both
// directions, and the embedded pictures of the files TagLib reads, with the
// one rule that picks a song's cover among them.

#include <QByteArray>
#include <QString>

#include <optional>
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

}  // namespace tolvan
