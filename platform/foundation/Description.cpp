#include "platform/foundation/Description.h"

#include "platform/foundation/Error.h"

namespace tolvan {

namespace {

bool isPlainWord(const QString& s)
{
    if (s.isEmpty())
        return false;
    for (QChar c : s) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.';
        if (!plain)
            return false;
    }
    return true;
}

QString quoted(const QString& s)
{
    if (isPlainWord(s))
        return s;
    QString out = "\"";
    for (QChar c : s) {
        switch (c.unicode()) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out + "\"";
}

QString describeIndented(const QVariant& value, int depth)
{
    const QString inner(4 * (depth + 1), ' ');
    const QString outer(4 * depth, ' ');
    switch (value.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return "(null)";
    case QMetaType::QString:
        return quoted(value.toString());
    case QMetaType::Bool:
        return value.toBool() ? "1" : "0";
    case QMetaType::QByteArray:
        return "<" + QString::fromLatin1(value.toByteArray().toHex()) + ">";
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        QString out = "{\n";
        for (auto it = map.begin(); it != map.end(); ++it)
            out += inner + quoted(it.key()) + " = " + describeIndented(it.value(), depth + 1) + ";\n";
        return out + outer + "}";
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        const QVariantList list = value.toList();
        QString out = "(\n";
        for (qsizetype i = 0; i < list.size(); ++i)
            out += inner + describeIndented(list[i], depth + 1) + (i + 1 < list.size() ? ",\n" : "\n");
        return out + outer + ")";
    }
    default:
        if (value.canConvert<Error>() && value.typeId() == qMetaTypeId<Error>())
            return value.value<Error>().description();
        if (value.canConvert<QString>())
            return value.toString();
        return QString::fromLatin1(value.typeName());
    }
}

}  // namespace

QString describe(const QVariant& value)
{
    // A string prints as itself; only inside a collection is it quoted.
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    return describeIndented(value, 0);
}

}  // namespace tolvan
