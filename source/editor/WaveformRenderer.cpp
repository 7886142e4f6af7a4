#include "source/editor/WaveformRenderer.h"

#include "platform/foundation/OperationQueue.h"

#include "ZNTUtilities/Shadow.h"
#include "platform/foundation/Dispatch.h"
#include "source/engine/WaveformProvider.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

QLinearGradient fillGradient(qreal top, qreal bottom)
{
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0.0, QColor::fromRgbF(1, 1, 1, 0.7f));
    gradient.setColorAt(1.0, QColor::fromRgbF(1, 1, 1, 0.2f));
    return gradient;
}

// Pixels for a size in points; a fractional pixel is one more column or row.
int pixels(qreal points, qreal devicePixelRatio)
{
    const qreal value = std::ceil(points * devicePixelRatio - 1e-9);
    return value > 0 && value < 1 << 20 ? int(value) : 0;
}

}  // namespace

std::shared_ptr<WaveformRenderer> WaveformRenderer::rendererWithProvider(std::shared_ptr<const WaveformProvider> provider)
{
    return std::make_shared<WaveformRenderer>(std::move(provider));
}

WaveformRenderer::WaveformRenderer(std::shared_ptr<const WaveformProvider> provider)
    : provider_(std::move(provider)),
      renderQueue_(std::make_unique<tolvan::OperationQueue>("com.kestrova.renderwaveform"))
{
}

WaveformRenderer::~WaveformRenderer() = default;

const QImage& WaveformRenderer::fastGradientFillForHeight(int height)
{
    if (!fastGradient_.isNull() && fastGradient_.height() == height)
        return fastGradient_;
    fastGradient_ = QImage(1, std::max(height, 1), QImage::Format_ARGB32_Premultiplied);
    fastGradient_.fill(Qt::transparent);
    QPainter painter(&fastGradient_);
    painter.fillRect(fastGradient_.rect(), fillGradient(0, fastGradient_.height()));
    return fastGradient_;
}

QImage WaveformRenderer::fastRenderWithSize(QSizeF size, ZNTTimeRange range, qreal devicePixelRatio)
{
    if (!provider_ || range.start > ZNTTimeRangeEnd(provider_->timeRangeOfSamples()))
        return {};
    const int width = pixels(size.width(), devicePixelRatio);
    const int height = pixels(size.height(), devicePixelRatio);
    if (width < 1 || height < 2)
        return {};
    const QImage& column = fastGradientFillForHeight(height - 1);

    // Each column's line, from its upper peak's row to its lower one's.
    std::vector<WaveformSample> peaks(static_cast<std::size_t>(width));
    provider_->smoothedSamplesForColumns(range.start, range.duration / (size.width() * devicePixelRatio), peaks);
    const double half = (height - 1) * 0.5;
    const double mid = 1.0 + half;
    const float lastRow = float(height - 1);
    std::vector<int> top(peaks.size()), bottom(peaks.size());
    for (std::size_t x = 0; x < peaks.size(); ++x) {
        const auto y1 = int(ClampFloat(0, float(mid - std::ceil(peaks[x].positive * half)), lastRow));
        const auto y2 = int(ClampFloat(0, float(mid - std::floor(peaks[x].negative * half)), lastRow));
        top[x] = std::min(y1, y2);
        bottom[x] = std::max(y1, y2);
    }

    // Row by row, every pixel written: the gradient's colour of the row
    // where a line crosses it, transparent elsewhere. The gradient line is
    // one row shorter than the tile: its last row also serves the tile's last.
    QImage tile(width, height, QImage::Format_ARGB32_Premultiplied);
    const int lastColumnRow = column.height() - 1;
    uchar* bits = tile.bits();
    for (int row = 0; row < height; ++row) {
        const QRgb colour = *reinterpret_cast<const QRgb*>(column.constScanLine(std::min(row, lastColumnRow)));
        auto* pixels = reinterpret_cast<QRgb*>(bits + qsizetype(row) * tile.bytesPerLine());
        for (int x = 0; x < width; ++x)
            pixels[x] = top[std::size_t(x)] <= row && row <= bottom[std::size_t(x)] ? colour : 0;
    }
    tile.setDevicePixelRatio(devicePixelRatio);
    return tile;
}

QImage WaveformRenderer::renderWithSize(QSizeF size, ZNTTimeRange range, qreal devicePixelRatio) const
{
    return provider_ ? renderTile(*provider_, size, range, devicePixelRatio) : QImage();
}

QImage WaveformRenderer::renderTile(const WaveformProvider& provider, QSizeF size, ZNTTimeRange range, qreal devicePixelRatio)
{
    const int width = pixels(size.width(), devicePixelRatio);
    const int height = pixels(size.height(), devicePixelRatio);
    if (width < 1 || height < 1)
        return {};
    const qreal w = size.width(), h = size.height();
    QImage tile(width, height, QImage::Format_ARGB32_Premultiplied);
    tile.setDevicePixelRatio(devicePixelRatio);
    tile.fill(Qt::transparent);

    // The outline sits 2 points below the top and 1 above the bottom.
    QPainterPath positive, negative, full;
    provider.bidirectionalWaveformPathsForTimeRange(range, QRectF(0, 2, w, h - 3), true, &positive, &negative, &full);

    QPainter painter(&tile);
    painter.setRenderHint(QPainter::Antialiasing);
    // The shadow around the outline, kept off the waveform itself.
    QPainterPath outside;
    outside.addRect(QRectF(0, 0, w, h));
    outside.addPath(full);
    outside.setFillRule(Qt::OddEvenFill);
    painter.save();
    painter.setClipPath(outside);
    drawShadow(painter, Shadow{{0, 0}, 2.0, QColor::fromRgbF(0, 0, 0, 1)}, QRectF(0, 0, w, h),
               [&full](QPainter& shapes) { shapes.fillPath(full, Qt::black); });
    painter.restore();
    painter.fillPath(full, fillGradient(0, h));
    return tile;
}

void WaveformRenderer::renderWithSize(QSizeF size, ZNTTimeRange range, qreal devicePixelRatio, Completion completion)
{
    // The operation holds the provider, not the renderer: a renderer dropped
    // with a new song cancels what has not started.
    renderQueue_->addOperation([provider = provider_, size, range, devicePixelRatio,
                                completion = std::move(completion)](tolvan::Operation& operation) {
        if (operation.isCancelled())
            return;
        QImage image = provider ? renderTile(*provider, size, range, devicePixelRatio) : QImage();
        tolvan::dispatchMain([completion, image = std::move(image)] { completion(image); });
    });
}
