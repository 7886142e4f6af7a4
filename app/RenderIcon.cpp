// Build tool: draws the scalable application icon at one size in pixels,
// for the fixed-size icons a desktop theme looks up before the scalable one.
//   tolvan_render_icon PICTURE.svg SIZE OUT.png
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv)
{
    const int size = argc == 4 ? QByteArray(argv[2]).toInt() : 0;
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1] ? argv[1] : ""));
    if (size <= 0 || !renderer.isValid()) {
        std::fprintf(stderr, "usage: tolvan_render_icon PICTURE.svg SIZE OUT.png\n");
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    return image.save(QString::fromLocal8Bit(argv[3]), "PNG") ? 0 : 1;
}
