#include "ZNTUtilities/Binding.h"

#include <QDebug>
#include <QMetaProperty>

namespace {

// Copies the source's property into the target's; it lives as the target's child.
class PropertyCopier : public QObject {
    Q_OBJECT
public:
    PropertyCopier(QObject* target, QByteArray targetProperty, const QObject* source, QMetaProperty sourceProperty)
        : QObject(target), target_(target), targetProperty_(std::move(targetProperty)), source_(source), sourceProperty_(sourceProperty)
    {
    }

public slots:
    void copy() { target_->setProperty(targetProperty_, sourceProperty_.read(source_)); }

private:
    QObject* target_;
    QByteArray targetProperty_;
    const QObject* source_;
    QMetaProperty sourceProperty_;
};

}  // namespace

bool bindProperty(QObject* target, const char* targetProperty, const QObject* source, const char* sourceProperty)
{
    if (!target || !source)
        return false;
    const QMetaObject* sourceMeta = source->metaObject();
    const int sourceIndex = sourceMeta->indexOfProperty(sourceProperty);
    if (sourceIndex < 0 || !sourceMeta->property(sourceIndex).hasNotifySignal()) {
        qWarning() << "bindProperty: no observable property" << sourceProperty << "on" << sourceMeta->className();
        return false;
    }
    if (target->metaObject()->indexOfProperty(targetProperty) < 0) {
        qWarning() << "bindProperty: no property" << targetProperty << "on" << target->metaObject()->className();
        return false;
    }
    const QMetaProperty property = sourceMeta->property(sourceIndex);
    auto* copier = new PropertyCopier(target, targetProperty, source, property);
    copier->copy();
    const QMetaMethod slot = copier->metaObject()->method(copier->metaObject()->indexOfSlot("copy()"));
    QObject::connect(source, property.notifySignal(), copier, slot);
    // The copier dies with the target; with the source gone the connection goes too.
    QObject::connect(source, &QObject::destroyed, copier, &QObject::deleteLater);
    return true;
}

#include "Binding.moc"
