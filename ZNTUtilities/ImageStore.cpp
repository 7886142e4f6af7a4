#include "ZNTUtilities/ImageStore.h"

#include "platform/foundation/Bundle.h"

#include <QDebug>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QScreen>
#include <QSet>
#include <QSvgRenderer>

#include <cmath>

namespace {

QImage renderSvg(const QString& path, qreal scale)
{
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {};
    const QSize points = renderer.defaultSize();
    QImage image(std::ceil(points.width() * scale), std::ceil(points.height() * scale), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter, QRectF(QPointF(), image.size()));
    }
    image.setDevicePixelRatio(scale);
    return image;
}

QImage load(const QString& name)
{
    const tolvan::Bundle& bundle = tolvan::Bundle::main();
    const QString svg = bundle.pathForResource(name, QStringLiteral("svg"), QStringLiteral("images"));
    if (!svg.isEmpty() && QFile::exists(svg))
        return renderSvg(svg, ImageStore::renderScale());
    const QString png = bundle.pathForResource(name, QStringLiteral("png"), QStringLiteral("images"));
    if (!png.isEmpty() && QFile::exists(png))
        return QImage(png);
    return {};
}

}  // namespace

qreal ImageStore::renderScale()
{
    qreal scale = 2;
    if (qGuiApp) {
        for (const QScreen* screen : QGuiApplication::screens())
            scale = std::max(scale, std::ceil(screen->devicePixelRatio()));
    }
    return scale;
}

ZNTImage ImageStore::named(const QString& name)
{
    static QHash<QString, ZNTImage> loaded;
    static QSet<QString> missing;
    if (const auto found = loaded.constFind(name); found != loaded.cend())
        return *found;
    const QImage image = load(name);
    if (image.isNull()) {
        if (!missing.contains(name)) {
            missing.insert(name);
            qWarning() << "ImageStore: no image named" << name;
        }
        return {};
    }
    return *loaded.insert(name, ZNTImage(image));
}
