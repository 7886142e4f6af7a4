#include "source/editor/ManualVolumeSlider.h"

#include <cmath>

ManualVolumeSlider::ManualVolumeSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    initialization();
    connect(this, &QSlider::valueChanged, this, [this](int) { emit doubleValueChanged(doubleValue()); });
}

void ManualVolumeSlider::initialization()
{
    setRange(-1.0, 1.0);
    setTickPosition(QSlider::TicksBelow);
    // Three marks: both ends and the middle.
    setTickInterval((maximum() - minimum()) / (numberOfTickMarks() - 1));
}

void ManualVolumeSlider::setRange(double minimum, double maximum)
{
    QSlider::setRange(int(std::lround(minimum * kStepsPerUnit)), int(std::lround(maximum * kStepsPerUnit)));
}

void ManualVolumeSlider::setDoubleValue(double position)
{
    if (std::isnan(position))
        position = 0.0;
    setValue(int(std::lround(std::clamp(position, minValue(), maxValue()) * kStepsPerUnit)));
}

double ManualVolumeSlider::tickMarkValueAtIndex(int index) const
{
    if (index == 0)
        return minValue();
    if (index == numberOfTickMarks() - 1)
        return maxValue();
    return 1.0;
}
