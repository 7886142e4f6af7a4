#pragma once
// The advanced panel's volume slider: a position from −1 to 1 (0 leaves the
// level unchanged) with three tick marks, the middle one marking the
// unchanged gain.

#include <QSlider>

class ManualVolumeSlider : public QSlider {
    Q_OBJECT
public:
    static constexpr int kStepsPerUnit = 1000;

    explicit ManualVolumeSlider(QWidget* parent = nullptr);

    void initialization();

    double minValue() const { return double(minimum()) / kStepsPerUnit; }
    double maxValue() const { return double(maximum()) / kStepsPerUnit; }
    void setRange(double minimum, double maximum);
    double doubleValue() const { return double(value()) / kStepsPerUnit; }
    void setDoubleValue(double position);

    int numberOfTickMarks() const { return 3; }
    // The minimum, the unchanged gain (1.0) and the maximum.
    double tickMarkValueAtIndex(int index) const;

signals:
    void doubleValueChanged(double position);
};
