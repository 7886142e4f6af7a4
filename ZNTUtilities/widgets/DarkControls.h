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

// Segments chosen one at a time; the segment under a held mouse is tracked.
class DarkSegmentedControl : public QWidget {
    Q_OBJECT
public:
    explicit DarkSegmentedControl(QWidget* parent = nullptr);
    DarkSegmentedCell& cell() { return cell_; }
    void addSegment(const QString& label, const ZNTImage& image, qreal width);
    void setSelectedImage(const ZNTImage& image, int segment);
    int selectedSegment() const;
    void setSelectedSegment(int segment);
    QSize sizeHint() const override;

signals:
    void selectedSegmentChanged(int segment);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    DarkSegmentedCell cell_;
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
