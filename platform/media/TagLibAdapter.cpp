#include "platform/media/TagLibAdapter.h"

#include "platform/media/TailStream.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sys/stat.h>

#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>
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

// An empty tag reads as no tag.
QString tagText(const TagLib::String& text) { return text.isEmpty() ? QString() : fromTagLibString(text); }

QString firstProperty(const TagLib::PropertyMap& properties, const char* key)
{
    auto it = properties.find(key);
    if (it == properties.end() || it->second.isEmpty())
        return {};
    return tagText(it->second.front());
}

// The one way a cover goes into an MPEG-4 tag: a list of this one picture.
TagLib::MP4::Item coverItem(const EmbeddedPicture& picture)
{
    TagLib::MP4::CoverArtList covers;
    covers.append(TagLib::MP4::CoverArt(TagLib::MP4::CoverArt::Format(picture.format), toTagLibBytes(picture.bytes)));
    return TagLib::MP4::Item(covers);
}

std::optional<TagLib::MP4::Item> mp4Item(const QByteArray& key, const QVariant& value)
{
    if (key == "covr") {
        const QByteArray bytes = value.toByteArray();
        return coverItem({{}, pictureFormatOfBytes(bytes), bytes});
    }
    if (key == "stik")  // the media kind is stored as one byte
        return TagLib::MP4::Item(static_cast<unsigned char>(value.toInt()));
    if (value.typeId() == QMetaType::QString)
        return TagLib::MP4::Item(TagLib::StringList(toTagLibString(value.toString())));
    bool isNumber = false;
    const int number = value.toInt(&isNumber);
    if (isNumber)
        return TagLib::MP4::Item(number);
    return std::nullopt;
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

namespace tolvan {

PictureFormat pictureFormatOfBytes(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return PictureFormat::jpeg;
    if (bytes.startsWith("\x89PNG"))
        return PictureFormat::png;
    return PictureFormat::unknown;
}

std::optional<SongTags> readSongTags(const QString& path)
{
    TagLib::FileRef file(tagLibFileName(path).constData(), false);
    if (file.isNull() || !file.tag())
        return std::nullopt;
    const TagLib::Tag* tag = file.tag();
    const TagLib::PropertyMap properties = file.file()->properties();
    return SongTags{tagText(tag->title()), tagText(tag->artist()), tagText(tag->album()), tagText(tag->genre()), tag->track(),
                    firstProperty(properties, "TITLESORT"), firstProperty(properties, "ARTISTSORT"),
                    firstProperty(properties, "ALBUMSORT")};
}

std::vector<NativeTagItem> id3v2Items(const QString& path)
{
    TagLib::FileStream stream(tagLibFileName(path).constData(), true);
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    std::vector<NativeTagItem> items;
    if (!file.isValid() || !file.hasID3v2Tag())
        return items;
    for (const TagLib::ID3v2::Frame* frame : file.ID3v2Tag()->frameList()) {
        const QByteArray id = fromTagLibBytes(frame->frameID());
        if (auto pictureFrame = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame)) {
            EmbeddedPicture picture = pictureOf(*pictureFrame);
            items.push_back({id, picture.bytes, picture.mimeType});
        } else if (id.startsWith('T') || id == "COMM") {
            items.push_back({id, fromTagLibString(frame->toString()), {}});
        }
    }
    return items;
}

std::vector<NativeTagItem> mp4Items(const QString& path)
{
    TagLib::FileStream stream(tagLibFileName(path).constData(), true);
    TagLib::MP4::File file(&stream, false);
    std::vector<NativeTagItem> items;
    if (!file.isValid() || !file.tag())
        return items;
    for (const auto& [name, item] : file.tag()->itemMap()) {
        const QByteArray key = fromTagLibKey(name);
        if (key == "covr") {
            const auto covers = item.toCoverArtList();
            if (covers.isEmpty())
                continue;
            EmbeddedPicture picture = pictureOf(covers.front());
            items.push_back({key, picture.bytes, picture.mimeType});
        } else if (!item.toStringList().isEmpty()) {
            items.push_back({key, fromTagLibString(item.toStringList().toString(", ")), {}});
        } else {
            items.push_back({key, item.toInt(), {}});
        }
    }
    return items;
}

std::optional<std::vector<NativeTagItem>> propertyItems(const QString& path)
{
    if (!isRegularFile(path))
        return std::nullopt;
    TagLib::FileRef file(tagLibFileName(path).constData(), false);
    if (file.isNull())
        return std::nullopt;
    std::vector<NativeTagItem> items;
    for (const auto& [name, values] : file.file()->properties()) {
        const QString text = values.isEmpty() ? QString() : tagText(values.toString(", "));
        if (!text.isEmpty())
            items.push_back({fromTagLibString(name).toUtf8(), text, {}});
    }
    return items;
}

std::vector<std::pair<QString, int>> mp4ItemNumbers(const QString& path)
{
    TagLib::FileRef file(tagLibFileName(path).constData());
    auto* tag = file.isNull() ? nullptr : dynamic_cast<TagLib::MP4::Tag*>(file.tag());
    std::vector<std::pair<QString, int>> numbers;
    if (tag)
        for (const auto& [key, item] : tag->itemMap())
            numbers.emplace_back(fromTagLibString(key), item.toInt());
    return numbers;
}

std::optional<QByteArray> mp4TailWithItems(qint64 tailStart, const QByteArray& tail, const ReadFileBytes& readBefore,
                                           const std::vector<std::pair<QByteArray, QVariant>>& items, QString* failure)
{
    TailStream stream(long(tailStart), toTagLibBytes(tail), [&readBefore](long offset, unsigned long length) {
        return toTagLibBytes(readBefore(offset, qint64(length)));
    });
    {
        TagLib::MP4::File file(&stream, false);
        if (!file.isValid() || !file.tag()) {
            *failure = QStringLiteral("The written file cannot be tagged");
            return std::nullopt;
        }
        bool changed = false;
        for (const auto& [key, value] : items) {
            if (auto item = mp4Item(key, value)) {
                file.tag()->setItem(toTagLibKey(key), *item);
                changed = true;
            }
        }
        if (changed && (!file.save() || stream.touchedBeforeTail())) {
            *failure = QStringLiteral("The tags cannot be saved");
            return std::nullopt;
        }
    }
    return fromTagLibBytes(stream.tail());
}

bool writeTags(const QString& path, const TagChanges& changes)
{
    TagLib::FileRef file(tagLibFileName(path).constData());
    TagLib::Tag* tag = file.isNull() ? nullptr : file.tag();
    if (!tag)
        return false;
    if (changes.title)
        tag->setTitle(toTagLibString(*changes.title));
    if (changes.artist)
        tag->setArtist(toTagLibString(*changes.artist));
    if (changes.album)
        tag->setAlbum(toTagLibString(*changes.album));
    if (changes.comment)
        tag->setComment(toTagLibString(*changes.comment));
    auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file.file());
    if (changes.mp4Cover && mp4 && mp4->tag())
        mp4->tag()->setItem("covr", coverItem(*changes.mp4Cover));
    return file.save();
}

}  // namespace tolvan
