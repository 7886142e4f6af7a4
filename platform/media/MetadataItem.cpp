#include "platform/media/MetadataItem.h"

namespace tolvan {

std::optional<QString> MetadataItem::stringValue() const
{
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    return std::nullopt;
}

std::optional<QByteArray> MetadataItem::dataValue() const
{
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray();
    return std::nullopt;
}

namespace {

bool isInteger(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

}  // namespace

bool metadataKeysEqual(const QVariant& a, const QVariant& b)
{
    if (isInteger(a) && isInteger(b)) {
        const bool aNegative = a.toLongLong() < 0, bNegative = b.toLongLong() < 0;
        if (aNegative || bNegative)
            return aNegative == bNegative && a.toLongLong() == b.toLongLong();
        return a.toULongLong() == b.toULongLong();
    }
    if (a.typeId() == QMetaType::QString && b.typeId() == QMetaType::QString)
        return a.toString() == b.toString();
    return false;
}

}  // namespace tolvan
