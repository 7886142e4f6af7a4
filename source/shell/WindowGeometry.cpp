#include "source/shell/WindowGeometry.h"

#include "source/engine/ZNTTimeRange.h"

#include <algorithm>
#include <cmath>

namespace tolvan {

double constrainSplitPosition(double proposed)
{
    return ClampFloat(float(kBrowserMinimumWidth), float(proposed), float(kBrowserMaximumWidth));
}

QRectF browserGripRect(const QRectF& browserBounds, double splitViewHeight)
{
    return QRectF(browserBounds.x() + browserBounds.width() - 12, splitViewHeight - 30, 12, 30);
}

QSizeF fullScreenContentSize(const QSizeF& contentMaxSize, const QSizeF& proposed)
{
    return QSizeF(std::min(contentMaxSize.width(), proposed.width()), std::min(contentMaxSize.height(), proposed.height()));
}

namespace {

QRectF centredIn(const QRectF& area, const QSizeF& size)
{
    return QRectF(area.x() + std::floor((area.width() - size.width()) * 0.5), area.y() + std::floor((area.height() - size.height()) * 0.5),
                  size.width(), size.height());
}

double nonNegative(double seconds) { return std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0; }

}  // namespace

FullScreenSteps enterFullScreenSteps(const QRectF& windowFrame, const QSizeF& contentMaxSize, const QRectF& screenFrame, double duration)
{
    const QSizeF size = fullScreenContentSize(contentMaxSize, screenFrame.size());
    const QRectF final = centredIn(screenFrame, size);
    return {centredIn(final, windowFrame.size()), final, nonNegative((duration - 0.2) * 0.5)};
}

FullScreenSteps exitFullScreenSteps(const QRectF& windowFrame, const std::optional<QRectF>& savedFrame, const QRectF& fallback, double duration)
{
    const QRectF target = savedFrame && savedFrame->isValid() ? *savedFrame : fallback;
    return {centredIn(windowFrame, target.size()), target, nonNegative(duration * 0.5)};
}

QRectF frameCentredOver(const QSizeF& size, const QRectF& over, const QRectF& available)
{
    const QRectF centred = centredIn(over, size);
    // The right and bottom limits first, so that the top left corner wins.
    const double x = std::max(available.left(), std::min(centred.x(), available.x() + available.width() - size.width()));
    const double y = std::max(available.top(), std::min(centred.y(), available.y() + available.height() - size.height()));
    return QRectF(QPointF(x, y), size);
}

}  // namespace tolvan
