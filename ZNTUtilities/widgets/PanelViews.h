#pragma once
// The kit's panel views, each drawing with the functions of PanelDrawing.h,
// and the sliding controls drawn from pictures.

#include "ZNTUtilities/PanelDrawing.h"
#include "ZNTUtilities/SliderCell.h"

#include <QScrollBar>
#include <QSlider>
#include <QSplitter>
#include <QTimer>
#include <QWidget>

class ZNTBackgroundView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)
public:
    explicit ZNTBackgroundView(QWidget* parent = nullptr);
    QColor backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const QColor& color) { backgroundColor_ = color; update(); }
    QColor borderColor() const { return borderColor_; }
    void setBorderColor(const QColor& color) { borderColor_ = color; update(); }
    qreal borderWidth() const { return borderWidth_; }
    void setBorderWidth(qreal width) { borderWidth_ = width; update(); }
    int borderEdges() const { return borderEdges_; }
    void setBorderEdges(int edges) { borderEdges_ = edges; update(); }
    bool isOpaque() const { return backgroundColor_.alphaF() >= 1.0; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor backgroundColor_ = QColor::fromRgbF(2 / 3.0, 2 / 3.0, 2 / 3.0);  // light grey
    QColor borderColor_;
    qreal borderWidth_ = 1.0;
    int borderEdges_ = borderAll;
};

// A split view with a painted divider that can take no room at all.
class CustomSplitView : public QSplitter {
    Q_OBJECT
public:
    explicit CustomSplitView(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);
    bool hideDivider() const { return hideDivider_; }
    void setHideDivider(bool hide);
    bool thinDivider() const { return style_.thin; }
    void setThinDivider(bool thin) { style_.thin = thin; update(); }
    const DividerStyle& dividerStyle() const { return style_; }
    int dividerThickness() const { return hideDivider_ ? 0 : 9; }

protected:
    QSplitterHandle* createHandle() override;

private:
    bool hideDivider_ = false;
    DividerStyle style_;
};

class FooterView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    int resizeStyle() const { return resizeStyle_; }
    void setResizeStyle(int style) { resizeStyle_ = style; update(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override { update(); }  // the grip's place follows the frame

private:
    int resizeStyle_ = 0;
};

class ToolbarView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override;
};

class GradientSeparator : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    const QList<SeparatorStop>& gradient() const { return gradient_; }
    void setGradient(const QList<SeparatorStop>& gradient) { gradient_ = gradient; update(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QList<SeparatorStop> gradient_ = defaultSeparatorGradient();
};

// Twelve white spokes whose bright head steps round on a timer.
class LargeProgressIndicator : public QWidget {
    Q_OBJECT
public:
    explicit LargeProgressIndicator(QWidget* parent = nullptr);
    int segmentCount() const { return segmentCount_; }
    int phase() const { return phase_; }
    bool isAnimating() const { return timer_.isActive(); }
    int interval() const { return timer_.interval(); }
    void startAnimation();
    void stopAnimation();
    void timerFired();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    int segmentCount_ = 12;
    int phase_ = 0;
    QTimer timer_;
};

class DarkImageWell : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void setImage(const ZNTImage& image) { image_ = image; update(); }
    DarkImageCell& cell() { return cell_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ZNTImage image_;
    DarkImageCell cell_;
};

class DarkRecessedBezel : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override;
};

// A horizontal slider drawn from a knob and a track picture.
class ZNTSlider : public QSlider {
    Q_OBJECT
public:
    explicit ZNTSlider(QWidget* parent = nullptr);
    void setKnobImage(const ZNTImage& image) { cell_.knobImage = image; update(); }
    void setTrackImage(const ZNTImage& image) { cell_.trackImage = image; update(); }
    const ZNTImage& knobImage() const { return cell_.knobImage; }
    const ZNTImage& trackImage() const { return cell_.trackImage; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ZNTSliderCell cell_;
};

// A scroller without arrows: a pill slot and knob shaded from one colour.
// Its style puts the hit areas where the drawing is.
class DarkScroller : public QScrollBar {
    Q_OBJECT
public:
    explicit DarkScroller(Qt::Orientation orientation, QWidget* parent = nullptr);
    QColor scrollerColor() const { return color_; }
    void setScrollerColor(const QColor& color);
    const ScrollerColors& colors() const { return colors_; }
    QRectF knobRect() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor color_;
    ScrollerColors colors_;
};
