#pragma once
// A push button whose face is a picture chosen by its state (normal 0,
// pressed 1, disabled 2, on 4, hover 8). Giving a hover picture turns hover
// tracking on; removing it turns it off.

#include "ZNTUtilities/ButtonCells.h"

#include <QAbstractButton>

class ZNTButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(bool hovering READ hovering NOTIFY hoveringChanged)
public:
    explicit ZNTButton(QWidget* parent = nullptr);

    void setBackgroundImage(const ZNTImage& image, unsigned state);
    void setContentLeftMargin(qreal margin);
    void setContentRightMargin(qreal margin);
    void setTitleElideMode(Qt::TextElideMode mode);
    // The corner radius of the picture's outline, which the focus ring follows.
    void setFocusRingRadius(qreal radius);
    // The title with its own font, colour and shadow (plain setText uses the
    // button's font and a white title).
    void setAttributedTitle(const StyledText& title);

    bool hovering() const { return hovering_; }
    bool wantsHover() const { return wantsHover_; }
    void setWantsHover(bool wants);

    const ZNTButtonCell& cell() const { return cell_; }
    CellState cellState() const;
    QSize sizeHint() const override;

signals:
    void hoveringChanged();

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void changeEvent(QEvent*) override;

private:
    void setHovering(bool hovering);
    ZNTButtonCell cell_;
    bool hovering_ = false;
    bool wantsHover_ = false;
    bool attributedTitle_ = false;
};
