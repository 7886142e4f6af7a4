#pragma once
// Button cells: plain objects that hold what a button draws and draw it into
// any painter, so a widget calls them from paintEvent and tests draw them
// into images. Frames are the control's own rectangles, y down.

#include "ZNTUtilities/CellState.h"
#include "ZNTUtilities/Shadow.h"
#include "ZNTUtilities/ZNTImage.h"

#include <QColor>
#include <QMap>
#include <QRectF>

class QPainter;

// The state numbers under which a ZNTButtonCell keeps its pictures.
enum class ButtonState : unsigned { normal = 0, pressed = 1, disabled = 2, on = 4, hover = 8 };

// A push button whose whole face is a picture chosen by the button's state,
// with its title and image drawn over it between two content margins.
class ZNTButtonCell {
public:
    // A null image removes the picture for that state. Any number is kept;
    // only 0, 1, 2, 4 and 8 are ever chosen for drawing.
    void setBackgroundImage(const ZNTImage& image, unsigned state);
    ZNTImage backgroundImage(unsigned state) const { return backgroundImages_.value(state); }

    // Disabled wins, then on, pressed, hovering; otherwise normal.
    static ButtonState currentButtonState(const CellState& state);
    // The picture for the state, else the normal one, else a null image.
    ZNTImage currentBackgroundImage(const CellState& state) const;

    qreal contentLeftMargin = 0;
    qreal contentRightMargin = 0;
    StyledText title;
    // Where a title too long for the content band is cut for an ellipsis;
    // ElideNone centres it and clips both ends.
    Qt::TextElideMode titleElideMode = Qt::ElideNone;
    ZNTImage image;
    // The corner radius of the picture's outline, which the focus ring
    // follows: half the height for a pill, half the side for a circle.
    qreal focusRingRadius = 4;

    // The band the title and image are laid out in.
    QRectF contentRect(const QRectF& frame) const;
    void draw(QPainter& painter, const QRectF& frame, const CellState& state) const;

private:
    QMap<unsigned, ZNTImage> backgroundImages_;
};

// A circular outlined button with a faint sheen and its image in white.
class DarkRoundButtonCell {
public:
    DarkRoundButtonCell();
    void setImage(const ZNTImage& image);  // also makes the white silhouette
    const ZNTImage& lightImage() const { return lightImage_; }

    QColor strokeColor;
    QColor disabledStrokeColor;

    // The circle: a square of the frame's shorter side at the frame's origin.
    static QRectF circleRect(const QRectF& frame);
    // The picture: the frame inset by a fifth of its width on both axes.
    static QRectF imageRect(const QRectF& frame);
    static qreal imageOpacity(const CellState& state);
    void draw(QPainter& painter, const QRectF& frame, const CellState& state) const;

private:
    ZNTImage lightImage_;
};

// The free-standing stop symbol in white at reduced opacity, in every state.
class FreestandingCloseButtonCell {
public:
    FreestandingCloseButtonCell();
    static constexpr qreal opacity = 0.4;
    void draw(QPainter& painter, const QRectF& frame) const;

private:
    ZNTImage closeImage_;
};
