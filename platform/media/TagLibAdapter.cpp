#include "platform/media/TagLibAdapter.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sys/stat.h>

#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tfilestream.h>
#include <taglib/xiphcomment.h>

namespace tolvan {

namespace {

QString mimeTypeOf(TagLib::MP4::CoverArt::Format format)
{
    switch (format) {
    case TagLib::MP4::CoverArt::JPEG: return QStringLiteral("image/jpeg");
    case TagLib::MP4::CoverArt::PNG: return QStringLiteral("image/png");
    case TagLib::MP4::CoverArt::GIF: return QStringLiteral("image/gif");
    case TagLib::MP4::CoverArt::BMP: return QStringLiteral("image/bmp");
    case TagLib::MP4::CoverArt::Unknown: break;
    }
    return {};
}

PictureFormat formatOf(const QString& mimeType)
{
    if (mimeType == QLatin1String("image/jpeg"))
        return PictureFormat::jpeg;
    if (mimeType == QLatin1String("image/png"))
        return PictureFormat::png;
    if (mimeType == QLatin1String("image/gif"))
        return PictureFormat::gif;
    if (mimeType == QLatin1String("image/bmp"))
        return PictureFormat::bmp;
    return PictureFormat::unknown;
}

EmbeddedPicture pictureOfBlock(TagLib::FLAC::Picture& picture)
{
    const QString mimeType = fromTagLibString(picture.mimeType());
    return {mimeType, formatOf(mimeType), fromTagLibBytes(picture.data())};
}

std::vector<EmbeddedPicture> id3v2Pictures(TagLib::ID3v2::Tag* tag)
{
    std::vector<EmbeddedPicture> pictures;
    if (!tag)
        return pictures;
    for (TagLib::ID3v2::Frame* frame : tag->frameListMap()["APIC"]) {
        if (auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame))
            pictures.push_back(pictureOf(*picture));
    }
    return pictures;
}

std::vector<EmbeddedPicture> mp4Covers(TagLib::MP4::Tag* tag)
{
    std::vector<EmbeddedPicture> pictures;
    if (!tag || !tag->contains("covr"))
        return pictures;
    for (const TagLib::MP4::CoverArt& cover : tag->item("covr").toCoverArtList())
        pictures.push_back(pictureOf(cover));
    return pictures;
}

template <class Pictures>
std::vector<EmbeddedPicture> pictureBlocks(Pictures list)
{
    std::vector<EmbeddedPicture> pictures;
    for (TagLib::FLAC::Picture* picture : list) {
        if (picture)
            pictures.push_back(pictureOfBlock(*picture));
    }
    return pictures;
}

enum class CoverKind { none, mp3, mp4 };

CoverKind coverKindForPath(const QString& path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == QLatin1String("mp3"))
        return CoverKind::mp3;
    static const QStringList mp4Extensions{"m4a", "3gp", "aac", "m4b", "mp4", "m4v", "mp4v"};
    return mp4Extensions.contains(extension) ? CoverKind::mp4 : CoverKind::none;
}

std::optional<EmbeddedPicture> firstCover(const QString& path, CoverKind kind)
{
    const QByteArray name = tagLibFileName(path);
    TagLib::FileStream stream(name.constData(), true);
    if (!stream.isOpen())
        return std::nullopt;
    std::vector<EmbeddedPicture> pictures;
    if (kind == CoverKind::mp3) {
        TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), true, TagLib::AudioProperties::Average);
        if (file.isValid())
            pictures = embeddedPictures(file);
        // Only the first picture frame counts, and only as JPEG or PNG.
        if (!pictures.empty() && pictures.front().format != PictureFormat::jpeg && pictures.front().format != PictureFormat::png)
            return std::nullopt;
    } else {
        TagLib::MP4::File file(&stream, true, TagLib::AudioProperties::Average);
        if (file.isValid())
            pictures = embeddedPictures(file);
    }
    if (pictures.empty())
        return std::nullopt;
    return std::move(pictures.front());
}

}  // namespace

TagLib::String toTagLibString(const QString& string) { return TagLib::String(string.toUtf8().constData(), TagLib::String::UTF8); }

QString fromTagLibString(const TagLib::String& string) { return QString::fromUtf8(string.toCString(true)); }

TagLib::String toTagLibKey(const QByteArray& key) { return TagLib::String(toTagLibBytes(key), TagLib::String::Latin1); }

QByteArray fromTagLibKey(const TagLib::String& key) { return QByteArray(key.toCString(false)); }

TagLib::ByteVector toTagLibBytes(const QByteArray& bytes) { return TagLib::ByteVector(bytes.constData(), unsigned(bytes.size())); }

QByteArray fromTagLibBytes(const TagLib::ByteVector& bytes) { return QByteArray(bytes.data(), qsizetype(bytes.size())); }

QByteArray tagLibFileName(const QString& path) { return QFile::encodeName(path); }

bool isRegularFile(const QString& path)
{
    struct stat status {};
    return !path.isEmpty() && ::stat(tagLibFileName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

EmbeddedPicture pictureOf(const TagLib::ID3v2::AttachedPictureFrame& frame)
{
    const QString mimeType = fromTagLibString(frame.mimeType());
    return {mimeType, formatOf(mimeType), fromTagLibBytes(frame.picture())};
}

EmbeddedPicture pictureOf(const TagLib::MP4::CoverArt& cover)
{
    // The enumeration holds TagLib's numbers, so a stored number passes through unchanged.
    return {mimeTypeOf(cover.format()), PictureFormat(int(cover.format())), fromTagLibBytes(cover.data())};
}

std::vector<EmbeddedPicture> embeddedPictures(TagLib::File& file)
{
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file))
        return id3v2Pictures(mpeg->ID3v2Tag(false));
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(&file))
        return mp4Covers(mp4->tag());
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(&file))
        return pictureBlocks(flac->pictureList());
    if (auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(file.tag()))
        return pictureBlocks(xiph->pictureList());
    return {};
}

std::optional<EmbeddedPicture> songCoverPicture(const QString& path)
{
    const CoverKind kind = coverKindForPath(path);
    if (kind == CoverKind::none || !isRegularFile(path))
        return std::nullopt;
    std::optional<EmbeddedPicture> picture = firstCover(path, kind);
    if (picture && picture->bytes.isEmpty())
        return std::nullopt;
    return picture;
}

}  // namespace tolvan
