#include "ZNTUtilities/ImageAdditions.h"

#include "platform/foundation/Bundle.h"
#include "platform/thumbnails/Thumbnailer.h"

#include <QAbstractFileIconProvider>
#include <QDebug>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QSvgRenderer>

namespace {

// The desktop's icon theme is optional; without one, files show our own plain
// document drawing. Rendered here rather than through the image store, which
// belongs to the main thread.
QImage plainDocumentIcon(QSize size)
{
    QSvgRenderer renderer(tolvan::Bundle::main().pathForResource(QStringLiteral("document"), QStringLiteral("svg"),
                                                                  QStringLiteral("images")));
    if (!renderer.isValid() || size.isEmpty())
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

}  // namespace

QImage quicklookPreviewOfFileAtPath(const QString& path, QSize size, bool asIcon)
{
    return tolvan::thumbnailOfFile(path, size, asIcon);
}

QImage imageWithPreviewOfFileAtPath(const QString& path, QSize size, bool asIcon)
{
    QImage preview = quicklookPreviewOfFileAtPath(path, size, asIcon);
    if (!preview.isNull() || path.isEmpty())
        return preview;
    const QIcon icon = QAbstractFileIconProvider().icon(QFileInfo(path));
    if (!icon.isNull())
        return icon.pixmap(size).toImage().scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return plainDocumentIcon(size);
}

QImage colorizedImage(const QImage& image, const QColor& color)
{
    if (image.width() == 0 || image.height() == 0)
        return {};
    QImage silhouette(image.size(), QImage::Format_ARGB32_Premultiplied);
    silhouette.setDevicePixelRatio(image.devicePixelRatio());
    silhouette.fill(color);
    QPainter painter(&silhouette);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.drawImage(QRectF(QPointF(), pointSize(image)), image);
    return silhouette;
}

QImage imageFromRect(const QImage& image, const QRectF& rect)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return {};
    const qreal scale = image.devicePixelRatio();
    const QRectF onScreen(rect.x(), pointSize(image).height() - rect.y() - rect.height(), rect.width(), rect.height());
    const QRect pixels(qRound(onScreen.x() * scale), qRound(onScreen.y() * scale),
                       qRound(onScreen.width() * scale), qRound(onScreen.height() * scale));
    QImage piece = image.copy(pixels);
    piece.setDevicePixelRatio(scale);
    return piece;
}

namespace {

void cut(const QImage& image, const QRectF& rect, QImage* out)
{
    if (out)
        *out = imageFromRect(image, rect);
}

}  // namespace

bool sliceWithLeftWidth(const QImage& image, qreal leftWidth, qreal rightWidth,
                        QImage* left, QImage* center, QImage* right)
{
    const QSizeF size = pointSize(image);
    const qreal w = size.width(), h = size.height();
    if (!(leftWidth + rightWidth < w)) {
        qWarning() << "slice: leftWidth + rightWidth < imageSize.width does not hold";
        return false;
    }
    cut(image, {0, 0, leftWidth, h}, left);
    cut(image, {leftWidth, 0, w - leftWidth - rightWidth, h}, center);
    cut(image, {w - rightWidth, 0, rightWidth, h}, right);
    return true;
}

bool sliceWithTopHeight(const QImage& image, qreal topHeight, qreal bottomHeight,
                        QImage* top, QImage* center, QImage* bottom)
{
    const QSizeF size = pointSize(image);
    const qreal w = size.width(), h = size.height();
    if (!(topHeight + bottomHeight < h)) {
        qWarning() << "slice: topHeight + bottomHeight < imageSize.height does not hold";
        return false;
    }
    // The top strip lies at the largest y of the image's upward space.
    cut(image, {0, h - topHeight, w, topHeight}, top);
    cut(image, {0, bottomHeight, w, h - topHeight - bottomHeight}, center);
    cut(image, {0, 0, w, bottomHeight}, bottom);
    return true;
}

bool sliceWithLeftWidth(const QImage& image, qreal leftWidth, qreal rightWidth, qreal topHeight,
                        qreal bottomHeight, ZNTImage::Pieces* pieces, bool includeCenter)
{
    const QSizeF size = pointSize(image);
    const qreal w = size.width(), h = size.height();
    if (!(leftWidth + rightWidth < w)) {
        qWarning() << "slice: leftWidth + rightWidth < imageSize.width does not hold";
        return false;
    }
    if (!(topHeight + bottomHeight < h)) {
        qWarning() << "slice: topHeight + bottomHeight < imageSize.height does not hold";
        return false;
    }
    if (!pieces)
        return true;
    const qreal cw = w - leftWidth - rightWidth, ch = h - topHeight - bottomHeight;
    auto cutIfAny = [&](const QRectF& rect, QImage& out) {
        if (rect.width() > 0 && rect.height() > 0)
            out = imageFromRect(image, rect);
    };
    cutIfAny({0, h - topHeight, leftWidth, topHeight}, pieces->topLeft);
    cutIfAny({leftWidth, h - topHeight, cw, topHeight}, pieces->topCenter);
    cutIfAny({w - rightWidth, h - topHeight, rightWidth, topHeight}, pieces->topRight);
    cutIfAny({0, bottomHeight, leftWidth, ch}, pieces->centerLeft);
    if (includeCenter)
        cutIfAny({leftWidth, bottomHeight, cw, ch}, pieces->center);
    cutIfAny({w - rightWidth, bottomHeight, rightWidth, ch}, pieces->centerRight);
    cutIfAny({0, 0, leftWidth, bottomHeight}, pieces->bottomLeft);
    cutIfAny({leftWidth, 0, cw, bottomHeight}, pieces->bottomCenter);
    cutIfAny({w - rightWidth, 0, rightWidth, bottomHeight}, pieces->bottomRight);
    return true;
}

QPainterPath closedFigurePath(const QPainterPath& path)
{
    QPainterPath result;
    bool closed = true;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            result.moveTo(e);
            break;
        case QPainterPath::LineToElement:
            result.lineTo(e);
            closed = false;
            break;
        case QPainterPath::CurveToElement:
            result.cubicTo(e, path.elementAt(i + 1), path.elementAt(i + 2));
            i += 2;
            closed = false;
            break;
        case QPainterPath::CurveToDataElement:
            break;
        }
    }
    if (!closed)
        result.closeSubpath();
    return result;
}

void addPathToContext(QPainterPath& context, const QPainterPath& path)
{
    context.addPath(closedFigurePath(path));
}
