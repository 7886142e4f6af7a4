#include "ZNTUtilities/Utilities.h"

#include <QMetaProperty>
#include <QPainter>
#include <QUuid>

QColor BoolColorTransformer::transformedValue(const QVariant& value)
{
    return value.toBool() ? QColor::fromRgbF(0.5f, 0.5f, 0.5f) : QColor(Qt::white);
}

void ZNTTextFieldShadowedCell::draw(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font,
                                    const QColor& color, int flags) const
{
    drawStyledText(painter, rect, {text, font, color, shadow}, flags);
}

ZNTObserver::ZNTObserver(QObject* object, QString keyPath, Block block)
    : QObject(object), object_(object), keyPath_(std::move(keyPath)), block_(std::move(block))
{
}

ZNTObserver* ZNTObserver::observeObject(QObject* object, const QString& keyPath, int options, Block block)
{
    if (!object || keyPath.isEmpty() || !block)
        return nullptr;
    const QMetaObject* meta = object->metaObject();
    const int index = meta->indexOfProperty(keyPath.toUtf8().constData());
    if (index < 0 || !meta->property(index).hasNotifySignal())
        return nullptr;
    auto* observer = new ZNTObserver(object, keyPath, std::move(block));
    const QMetaMethod slot = observer->metaObject()->method(observer->metaObject()->indexOfSlot("changed()"));
    connect(object, meta->property(index).notifySignal(), observer, slot);
    if (options & initial)
        observer->changed();
    return observer;
}

void ZNTObserver::changed()
{
    if (object_)
        block_(object_, keyPath_, object_->property(keyPath_.toUtf8().constData()), this);
}

void ZNTObserver::removeObserver()
{
    if (!object_)
        return;
    disconnect(object_, nullptr, this, nullptr);
    object_ = nullptr;
    deleteLater();
}

QString stringWithNewUUID()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}
