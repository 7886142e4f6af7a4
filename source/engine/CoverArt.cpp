#include "source/engine/CoverArt.h"

#include "ZNTUtilities/ImageAdditions.h"
#include "platform/foundation/Bundle.h"
#include "platform/media/TagLibAdapter.h"

#include <QDebug>
#include <QFileInfo>

#include <taglib/fileref.h>
#include <taglib/mp4file.h>

std::optional<QByteArray> tagLibCoverArtDataForFileAtPath(const QString& path)
{
    if (auto picture = tolvan::songCoverPicture(path))
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

TagLib::String tagLibString(const QString& string) { return tolvan::toTagLibString(string); }

QString stringWithTagLibString(const TagLib::String& string) { return tolvan::fromTagLibString(string); }

bool ZNTWriteTagsAndCoverArt(const QString& path, const QVariantMap& info)
{
    if (path.isEmpty() || info.isEmpty())
        return false;
    TagLib::FileRef file(tolvan::tagLibFileName(path).constData());
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
        auto picture = tolvan::songCoverPicture(info.value("originalFilePath").toString());
        if (mp4 && mp4->tag() && picture) {
            TagLib::MP4::CoverArtList covers;
            covers.append(TagLib::MP4::CoverArt(TagLib::MP4::CoverArt::Format(picture->format), tolvan::toTagLibBytes(picture->bytes)));
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
    TagLib::FileRef file(tolvan::tagLibFileName(path).constData());
    auto* mp4 = file.isNull() ? nullptr : dynamic_cast<TagLib::MP4::Tag*>(file.tag());
    if (!mp4)
        return;
    for (const auto& [key, item] : mp4->itemMap())
        qInfo("Key: \"%s\", Value: %d", qUtf8Printable(tolvan::fromTagLibString(key)), item.toInt());
}
