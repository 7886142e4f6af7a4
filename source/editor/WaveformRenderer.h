#pragma once
// Draws one tile of the waveform, a stretch of the song in a rectangle, as an
// image. The fast render runs on the caller's (main) thread: one smoothed
// peak pair per pixel column, each column a copy of a cached gradient line.
// The full render draws the smoothed outline with a soft shadow and a
// gradient fill on the queue "com.kestrova.renderwaveform" and hands the
// image to a completion on the main thread. Sizes are in points; images have
// size × devicePixelRatio pixels and carry that ratio.

#include "source/engine/ZNTTimeRange.h"

#include <QImage>
#include <QSizeF>

#include <functional>
#include <memory>

class WaveformProvider;
namespace tolvan { class OperationQueue; }

class WaveformRenderer {
public:
    using Completion = std::function<void(QImage image)>;

    static std::shared_ptr<WaveformRenderer> rendererWithProvider(std::shared_ptr<const WaveformProvider> provider);
    explicit WaveformRenderer(std::shared_ptr<const WaveformProvider> provider);
    // Waits for the renders already running; those still queued are dropped
    // and their completions never run (the view drops its renderer only
    // with the song those tiles belonged to).
    ~WaveformRenderer();

    const std::shared_ptr<const WaveformProvider>& provider() const { return provider_; }

    // Null when the range starts beyond the samples read so far, or when the
    // size leaves no pixel to draw.
    QImage fastRenderWithSize(QSizeF size, ZNTTimeRange range, qreal devicePixelRatio = 1.0);
    // Any thread. Null for a width of 0.
    QImage renderWithSize(QSizeF size, ZNTTimeRange range, qreal devicePixelRatio = 1.0) const;
    // Renders on the queue; the completion runs on the main thread with the
    // image (null on failure), once per request.
    void renderWithSize(QSizeF size, ZNTTimeRange range, qreal devicePixelRatio, Completion completion);

    // The cached gradient line of the fast render: 1 pixel wide, `height`
    // pixels high, alpha 0.7 white at the top to 0.2 at the bottom.
    const QImage& fastGradientFillForHeight(int height);

private:
    static QImage renderTile(const WaveformProvider& provider, QSizeF size, ZNTTimeRange range, qreal devicePixelRatio);

    std::shared_ptr<const WaveformProvider> provider_;
    std::unique_ptr<tolvan::OperationQueue> renderQueue_;
    QImage fastGradient_;
};
