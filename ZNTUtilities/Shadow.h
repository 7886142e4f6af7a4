#pragma once
// Drop shadows: one helper (alpha mask, blur, tint, composite) that every
// control and text of the kit uses, and a text style that carries one.

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <functional>

class QPainter;

struct Shadow {
    QPointF offset;  // points; positive y is up, as in every view
    qreal blurRadius = 0;
    QColor color;
};

// Draws the shadow that the shapes painted by `paint` cast, without the
// shapes themselves. `bounds` holds everything `paint` draws (painter
// coordinates); the blur spreads beyond it.
void drawShadow(QPainter& painter, const Shadow& shadow, const QRectF& bounds,
                const std::function<void(QPainter&)>& paint);

// Text with its font, colour and shadow.
struct StyledText {
    QString text;
    QFont font;
    QColor color;
    Shadow shadow;
};

// The text in rect with `flags` (Qt::AlignmentFlag), its shadow under it.
void drawStyledText(QPainter& painter, const QRectF& rect, const StyledText& text, int flags);
