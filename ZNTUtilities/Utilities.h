#pragma once
// Small pieces of the kit: a flag-to-colour transform, a shadowed text cell,
// a property observer that lives as long as what it observes, fresh UUIDs.

#include "ZNTUtilities/Shadow.h"

#include <QColor>
#include <QObject>
#include <QVariant>

#include <functional>

// Grey for a true flag, white for false and for no value.
struct BoolColorTransformer {
    static QColor transformedValue(const QVariant& value);
};

// Text drawn with a soft drop shadow below it.
struct ZNTTextFieldShadowedCell {
    Shadow shadow{{0, -1}, 3, QColor::fromRgbF(0, 0, 0, 1)};
    // Nothing at all for an empty text.
    void draw(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font, const QColor& color,
              int flags) const;
};

// Calls a function on every change of one property of an object. The
// observer belongs to the observed object (as its child), so it lives as long
// as that object or until removed; any number may watch one object.
class ZNTObserver : public QObject {
    Q_OBJECT
public:
    enum Option { none = 0, initial = 1 };
    // The change: the property's new value.
    using Block = std::function<void(QObject* object, const QString& keyPath, const QVariant& value, ZNTObserver* observer)>;

    // Null, observing nothing, without an object, a known observable
    // property or a function. `initial` also calls the function at once.
    static ZNTObserver* observeObject(QObject* object, const QString& keyPath, int options, Block block);

    QObject* object() const { return object_; }
    const QString& keyPath() const { return keyPath_; }
    // Stops observing and lets the observer go.
    void removeObserver();

private slots:
    void changed();

private:
    ZNTObserver(QObject* object, QString keyPath, Block block);
    QObject* object_;
    QString keyPath_;
    Block block_;
};

// A fresh random UUID: 36 characters, upper-case hexadecimal in 8-4-4-4-12 groups.
QString stringWithNewUUID();
