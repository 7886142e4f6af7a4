#pragma once
// The dark controls as widgets: each owns its cell and draws it; Qt keeps
// focus, keys, signals and accessibility.

#include "ZNTUtilities/ButtonCells.h"
#include "ZNTUtilities/DarkCells.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QWidget>

class DarkPushButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit DarkPushButton(const QString& title = {}, QWidget* parent = nullptr);
    DarkPushButtonCell& cell() { return cell_; }
    void setNormalBackgroundColor(const QColor& color);
    void setHighlightedBackgroundColor(const QColor& color) { cell_.highlightedBackgroundColor = color; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    DarkPushButtonCell cell_;
};

class DarkCheckbox : public QAbstractButton {
    Q_OBJECT
public:
    explicit DarkCheckbox(const QString& title = {}, QWidget* parent = nullptr);
    DarkCheckboxButtonCell& cell() { return cell_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    DarkCheckboxButtonCell cell_;
};

class DarkPopupButton : public QComboBox {
    Q_OBJECT
public:
    explicit DarkPopupButton(QWidget* parent = nullptr);
    DarkPopupButtonCell& cell() { return cell_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    DarkPopupButtonCell cell_;
};

// Segments chosen one at a time, like a group of radio buttons: the segment
// under a held mouse is tracked, and the arrow keys choose the segment beside
// the chosen one. Screen readers meet a group named by the control's
// accessible name whose radio buttons are the segments.
class DarkSegmentedControl : public QWidget {
    Q_OBJECT
public:
    explicit DarkSegmentedControl(QWidget* parent = nullptr);
    DarkSegmentedCell& cell() { return cell_; }
    void addSegment(const QString& label, const ZNTImage& image, qreal width);
    void setSelectedImage(const ZNTImage& image, int segment);
    int segmentCount() const { return int(cell_.segments.size()); }
    int selectedSegment() const;
    void setSelectedSegment(int segment);
    QSize sizeHint() const override;

    // What a segment is called and what its tool tip says (a segment with
    // a label and no name is called by its label).
    void setSegmentAccessibleName(int segment, const QString& name);
    QString segmentAccessibleName(int segment) const;
    void setSegmentToolTip(int segment, const QString& toolTip);
    QString segmentToolTip(int segment) const;
    // The segment's place in the control's own coordinates.
    QRect segmentRect(int segment) const;

signals:
    void selectedSegmentChanged(int segment);

protected:
    bool event(QEvent*) override;
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    struct SegmentTexts {
        QString accessibleName;
        QString toolTip;
    };
    DarkSegmentedCell cell_;
    QList<SegmentTexts> texts_;
};

class DarkRoundButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit DarkRoundButton(QWidget* parent = nullptr);
    DarkRoundButtonCell& cell() { return cell_; }
    void setImage(const ZNTImage& image);
    QSize sizeHint() const override { return {32, 32}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    DarkRoundButtonCell cell_;
};

// A round button that acts for exactly as long as it is held: `action` on
// press (state 1), at every crossing of its edge while held (0 outside, 1
// inside), and on release (0).
class MomentaryButton : public DarkRoundButton {
    Q_OBJECT
public:
    using DarkRoundButton::DarkRoundButton;
    int state() const { return state_; }

signals:
    void action(int state);

protected:
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    void send(int state);
    int state_ = 0;
    bool tracking_ = false;
};

class FreestandingCloseButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit FreestandingCloseButton(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {14, 14}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    FreestandingCloseButtonCell cell_;
};
