#include "source/browser/SimpleNavigatorHeader.h"

#include <QPainter>

#include <algorithm>

SimpleNavigatorHeader::SimpleNavigatorHeader(QWidget* parent)
    : QWidget(parent), gradientStart_(QColor::fromRgbF(0.8f, 0.8f, 0.8f)), gradientEnd_(QColor::fromRgbF(0.7f, 0.7f, 0.7f))
{
}

QColor SimpleNavigatorHeader::darkerEnd(const QColor& color)
{
    const QColor rgb = color.toRgb();
    auto darker = [](float component) { return std::max(0.0f, component - 0.15f); };
    return QColor::fromRgbF(darker(rgb.redF()), darker(rgb.greenF()), darker(rgb.blueF()), rgb.alphaF());
}

void SimpleNavigatorHeader::setBackgroundColor(const QColor& color)
{
    gradientStart_ = color;
    gradientEnd_ = darkerEnd(color);
    update();
}

void SimpleNavigatorHeader::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF b = rect();
    QLinearGradient gradient(0, 1, 0, b.height() - 1);
    gradient.setColorAt(0, gradientStart_);
    gradient.setColorAt(1, gradientEnd_);
    painter.fillRect(QRectF(0, 1, b.width(), b.height() - 2), gradient);
    painter.fillRect(QRectF(0, 0, b.width(), 1), QColor::fromRgbF(0.9f, 0.9f, 0.9f));
    painter.fillRect(QRectF(0, b.height() - 1, b.width(), 1), QColor::fromRgbF(0.4f, 0.4f, 0.4f));
}
