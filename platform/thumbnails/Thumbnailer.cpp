#include "platform/thumbnails/Thumbnailer.h"

#include <QImageReader>
#include <QPainter>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tolvan {

namespace {

// The attached picture (cover) stream of any container FFmpeg reads.
QImage embeddedPicture(const QString& path)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return {};
    QImage image;
    for (unsigned i = 0; i < format->nb_streams && image.isNull(); ++i) {
        const AVStream* stream = format->streams[i];
        if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) && stream->attached_pic.size > 0)
            image = QImage::fromData(stream->attached_pic.data, stream->attached_pic.size);
    }
    avformat_close_input(&format);
    return image;
}

QImage imageFilePicture(const QString& path)
{
    QImageReader reader(path);
    return reader.canRead() ? reader.read() : QImage();
}

QImage iconOf(const QImage& picture, QSize size)
{
    const int side = std::max(size.width(), size.height());
    QImage canvas(side, side, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    const QImage scaled = picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&canvas);
    painter.drawImage((side - scaled.width()) / 2, (side - scaled.height()) / 2, scaled);
    return canvas;
}

}  // namespace

QImage thumbnailOfFile(const QString& path, QSize size, bool asIcon)
{
    if (path.isEmpty() || size.isEmpty())
        return {};
    QImage picture = embeddedPicture(path);
    if (picture.isNull())
        picture = imageFilePicture(path);
    if (picture.isNull())
        return {};
    if (asIcon)
        return iconOf(picture, size);
    return picture.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace tolvan
