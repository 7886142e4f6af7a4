#include "source/editor/AudioLevelView.h"

#include "source/engine/ZNTTimeRange.h"

#include <QPainter>

#include <cmath>

AudioLevelView::AudioLevelView(QWidget* parent) : QWidget(parent)
{
    setFixedSize(sizeHint());
}

QSize AudioLevelView::sizeHint() const
{
    return {kSegmentPitch * (kSegmentCount - 1) + kSegmentWidth, kSegmentHeight};
}

float AudioLevelView::normalizePowerLevel(float decibels)
{
    if (std::isnan(decibels))
        return 0.0f;  // a meter that has heard nothing shows nothing
    return (ClampFloat(-40.0f, decibels, 10.0f) + 40.0f) / 50.0f;
}

std::bitset<AudioLevelView::kSegmentCount> AudioLevelView::segmentsLitBy(float averageDecibels, float peakDecibels)
{
    std::bitset<kSegmentCount> lit;
    const int bar = std::min(int(std::floor(normalizePowerLevel(averageDecibels) * 14.0f)), kSegmentCount);
    for (int i = 0; i < bar; ++i)
        lit.set(std::size_t(i));
    const int peak = int(std::floor(normalizePowerLevel(peakDecibels) * 14.0f));
    const int peakSegment = peak >= kSegmentCount ? kSegmentCount - 1 : peak - 1;
    if (peakSegment >= 0)
        lit.set(std::size_t(peakSegment));
    return lit;
}

void AudioLevelView::setPowerLevelAverage(float averageDecibels, float peakDecibels)
{
    const auto lit = segmentsLitBy(averageDecibels, peakDecibels);
    if (lit == lit_)
        return;
    lit_ = lit;
    update();
}

QColor AudioLevelView::lightColor(int segment)
{
    if (segment >= kSegmentCount - 1)
        return QColor::fromRgbF(1, 0, 0);
    if (segment >= 9)
        return QColor::fromRgbF(1, 1, 0);
    return QColor::fromRgbF(0, 1, 0);
}

void AudioLevelView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor dark = QColor::fromRgbF(0.2, 0.2, 0.2);
    for (int i = 0; i < kSegmentCount; ++i) {
        const QRect segment(kSegmentPitch * i, 0, kSegmentWidth, kSegmentHeight);
        painter.fillRect(segment, lit_.test(std::size_t(i)) ? lightColor(i) : dark);
    }
}
