#include "source/engine/CoverArt.h"

#include "platform/foundation/Bundle.h"
#include "platform/media/TagLibAdapter.h"
#include "platform/thumbnails/Thumbnailer.h"

#include <QDebug>
#include <QFileInfo>

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
        image = tolvan::thumbnailOfFile(path, size, false);
    if (image.isNull())
        image = QImage(tolvan::Bundle::main().pathForResource("default_cover", "png", "images"));
    return image;
}

bool ZNTWriteTagsAndCoverArt(const QString& path, const QVariantMap& info)
{
    if (path.isEmpty() || info.isEmpty())
        return false;
    auto text = [&info](const char* key) {
        return info.contains(key) ? std::optional<QString>(info.value(key).toString()) : std::nullopt;
    };
    tolvan::TagChanges changes{text("Name"), text("Artist"), text("Album"), text("Comment"), std::nullopt};
    if (info.contains("originalFilePath"))
        changes.mp4Cover = tolvan::songCoverPicture(info.value("originalFilePath").toString());
    return tolvan::writeTags(path, changes);
}

void ZNTLogMP4Items(const QString& path)
{
    if (path.isEmpty()) {
        qInfo("No file specified");
        return;
    }
    for (const auto& [key, number] : tolvan::mp4ItemNumbers(path))
        qInfo("Key: \"%s\", Value: %d", qUtf8Printable(key), number);
}
