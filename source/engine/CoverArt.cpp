#include "source/engine/CoverArt.h"

#include "ZNTUtilities/ImageAdditions.h"
#include "platform/foundation/Bundle.h"

#include <QDebug>
#include <QFileInfo>

#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tfilestream.h>

namespace {

enum class TagKind { None, MP3, MP4 };

TagKind tagKindForPath(const QString& path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == "mp3")
        return TagKind::MP3;
    static const QStringList mp4Extensions{"m4a", "3gp", "aac", "m4b", "mp4", "m4v", "mp4v"};
    return mp4Extensions.contains(extension) ? TagKind::MP4 : TagKind::None;
}

struct Picture {
    QByteArray bytes;
    TagLib::MP4::CoverArt::Format format = TagLib::MP4::CoverArt::Unknown;
};

std::optional<Picture> mp3Picture(const QByteArray& path)
{
    TagLib::FileStream stream(path.constData(), true);
    if (!stream.isOpen())
        return std::nullopt;
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), true, TagLib::AudioProperties::Average);
    TagLib::ID3v2::Tag* tag = file.isValid() ? file.ID3v2Tag(false) : nullptr;
    if (!tag)
        return std::nullopt;
    for (TagLib::ID3v2::Frame* frame : tag->frameListMap()["APIC"]) {
        auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
        if (!picture)
            continue;
        const TagLib::String mime = picture->mimeType();
        if (mime != "image/jpeg" && mime != "image/png")
            return std::nullopt;  // only the first picture frame counts
        const TagLib::ByteVector data = picture->picture();
        auto format = mime == "image/jpeg" ? TagLib::MP4::CoverArt::JPEG : TagLib::MP4::CoverArt::PNG;
        return Picture{QByteArray(data.data(), data.size()), format};
    }
    return std::nullopt;
}

std::optional<Picture> mp4Picture(const QByteArray& path)
{
    TagLib::FileStream stream(path.constData(), true);
    if (!stream.isOpen())
        return std::nullopt;
    TagLib::MP4::File file(&stream, true, TagLib::AudioProperties::Average);
    TagLib::MP4::Tag* tag = file.isValid() ? file.tag() : nullptr;
    if (!tag || !tag->contains("covr"))
        return std::nullopt;
    const TagLib::MP4::CoverArtList covers = tag->item("covr").toCoverArtList();
    if (covers.isEmpty())
        return std::nullopt;
    const TagLib::MP4::CoverArt& first = covers.front();
    const TagLib::ByteVector data = first.data();
    return Picture{QByteArray(data.data(), data.size()), first.format()};
}

std::optional<Picture> embeddedPicture(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QByteArray nativePath = path.toUtf8();
    std::optional<Picture> picture;
    switch (tagKindForPath(path)) {
    case TagKind::MP3: picture = mp3Picture(nativePath); break;
    case TagKind::MP4: picture = mp4Picture(nativePath); break;
    case TagKind::None: break;
    }
    if (picture && picture->bytes.isEmpty())
        return std::nullopt;
    return picture;
}

}  // namespace

std::optional<QByteArray> tagLibCoverArtDataForFileAtPath(const QString& path)
{
    if (auto picture = embeddedPicture(path))
        return picture->bytes;
    return std::nullopt;
}

QImage tagLibCoverArtImageForFileAtPath(const QString& path)
{
    const auto bytes = tagLibCoverArtDataForFileAtPath(path);
    return bytes ? QImage::fromData(*bytes) : QImage();
}

QImage tolvanPreviewOfFileAtPath(const QString& path, QSize size)
{
    if (path.isEmpty())
        return {};
    QImage image = tagLibCoverArtImageForFileAtPath(path);
    if (image.isNull())
        image = quicklookPreviewOfFileAtPath(path, size, false);
    if (image.isNull())
        image = QImage(tolvan::Bundle::main().pathForResource("default_cover", "png", "images"));
    return image;
}

TagLib::String tagLibString(const QString& string)
{
    return TagLib::String(string.toUtf8().constData(), TagLib::String::UTF8);
}

QString stringWithTagLibString(const TagLib::String& string)
{
    return QString::fromUtf8(string.toCString(true));
}

bool ZNTWriteTagsAndCoverArt(const QString& path, const QVariantMap& info)
{
    if (path.isEmpty() || info.isEmpty())
        return false;
    TagLib::FileRef file(path.toUtf8().constData());
    TagLib::Tag* tag = file.isNull() ? nullptr : file.tag();
    if (!tag)
        return false;
    if (info.contains("Name"))
        tag->setTitle(tagLibString(info.value("Name").toString()));
    if (info.contains("Artist"))
        tag->setArtist(tagLibString(info.value("Artist").toString()));
    if (info.contains("Album"))
        tag->setAlbum(tagLibString(info.value("Album").toString()));
    if (info.contains("Comment"))
        tag->setComment(tagLibString(info.value("Comment").toString()));
    if (info.contains("originalFilePath")) {
        auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file.file());
        auto picture = embeddedPicture(info.value("originalFilePath").toString());
        if (mp4 && mp4->tag() && picture) {
            TagLib::MP4::CoverArtList covers;
            covers.append(TagLib::MP4::CoverArt(picture->format, TagLib::ByteVector(picture->bytes.constData(), uint(picture->bytes.size()))));
            mp4->tag()->setItem("covr", TagLib::MP4::Item(covers));
        }
    }
    return file.save();
}

void ZNTLogMP4Items(const QString& path)
{
    if (path.isEmpty()) {
        qInfo("No file specified");
        return;
    }
    TagLib::FileRef file(path.toUtf8().constData());
    auto* mp4 = file.isNull() ? nullptr : dynamic_cast<TagLib::MP4::Tag*>(file.tag());
    if (!mp4)
        return;
    for (const auto& [key, item] : mp4->itemMap())
        qInfo("Key: \"%s\", Value: %d", key.toCString(true), item.toInt());
}
