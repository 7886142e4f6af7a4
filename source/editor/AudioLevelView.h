#pragma once
// The input level as a row of 13 segments: green, then yellow, then one red.
// The average lights a bar from the left; the peak lights one more segment.

#include <QWidget>

#include <bitset>

class AudioLevelView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSegmentCount = 13;
    static constexpr int kSegmentWidth = 20;
    static constexpr int kSegmentPitch = 22;
    static constexpr int kSegmentHeight = 60;

    explicit AudioLevelView(QWidget* parent = nullptr);

    // Decibels to 0...1: -40 dB and below (or no number at all) is 0, +10 dB
    // and above is 1.
    static float normalizePowerLevel(float decibels);
    // Which segments the levels light, left to right.
    static std::bitset<kSegmentCount> segmentsLitBy(float averageDecibels, float peakDecibels);

    void setPowerLevelAverage(float averageDecibels, float peakDecibels);
    std::bitset<kSegmentCount> litSegments() const { return lit_; }

    static QColor lightColor(int segment);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::bitset<kSegmentCount> lit_;
};
