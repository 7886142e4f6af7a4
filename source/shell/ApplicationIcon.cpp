#include "source/shell/ApplicationIcon.h"

#include "platform/foundation/Bundle.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPainter>
#include <QSvgRenderer>

namespace {

QString shippedPicturePath()
{
    return tolvan::Bundle::main().pathForResource(QStringLiteral("tolvan"), QStringLiteral("svg"), QStringLiteral("desktop"));
}

}  // namespace

QIcon applicationIcon()
{
    const QString path = shippedPicturePath();
    const QIcon shipped = QFileInfo::exists(path) ? QIcon(path) : QIcon();
    return QIcon::fromTheme(QStringLiteral("tolvan"), shipped);
}

QImage renderApplicationIcon(int pixels)
{
    QSvgRenderer renderer(shippedPicturePath());
    if (!renderer.isValid() || pixels <= 0)
        return {};
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    return image;
}

QByteArray applicationIconPNG()
{
    const QImage image = renderApplicationIcon(kKitIconPoints);
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, "PNG") ? png : QByteArray();
}
