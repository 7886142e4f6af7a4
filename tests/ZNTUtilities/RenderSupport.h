#pragma once
// Painting widgets and cells into images for the render tests and the sheet.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <functional>

namespace znttest {

inline const QColor darkBackground = QColor::fromRgbF(0.18f, 0.18f, 0.18f);

inline QImage canvas(QSize size, qreal dpr = 1, QColor fill = darkBackground)
{
    QImage image(size * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(fill);
    return image;
}

inline QImage paint(QSize size, const std::function<void(QPainter&)>& draw, qreal dpr = 1)
{
    QImage image = canvas(size, dpr);
    QPainter painter(&image);
    draw(painter);
    return image;
}

inline QImage render(QWidget& widget, QSize size, qreal dpr = 1)
{
    widget.resize(size);
    QImage image = canvas(size, dpr);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// A pixel's colour at a point in logical coordinates.
inline QColor at(const QImage& image, qreal x, qreal y)
{
    const qreal dpr = image.devicePixelRatio();
    return image.pixelColor(int(x * dpr), int(y * dpr));
}

inline bool near(const QColor& a, const QColor& b, int tolerance = 6)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

}  // namespace znttest
