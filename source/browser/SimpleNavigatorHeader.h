#pragma once
// The bar across the top of the navigation stack: a vertical gradient from
// one base colour down to a darker shade, a light line along its top edge and
// a dark line along its bottom edge.

#include <QColor>
#include <QWidget>

class SimpleNavigatorHeader : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)
public:
    explicit SimpleNavigatorHeader(QWidget* parent = nullptr);

    // The gradient's top colour; setting it darkens each of red, green and
    // blue by 0.15 (not below 0) for the bottom colour.
    QColor backgroundColor() const { return gradientStart_; }
    void setBackgroundColor(const QColor& color);
    QColor gradientEnd() const { return gradientEnd_; }

    static QColor darkerEnd(const QColor& color);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor gradientStart_;
    QColor gradientEnd_;
};
