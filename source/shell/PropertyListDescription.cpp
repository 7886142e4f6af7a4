#include "source/shell/PropertyListDescription.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

namespace {

constexpr int kIndent = 4;

QString quotedUnlessPlain(const QString& text)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_.$/:]+$"));
    if (plain.match(text).hasMatch())
        return text;
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('"'), QStringLiteral("\\\""))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"))
        .replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString describe(const QVariant& value, int depth)
{
    const QString inner(kIndent * (depth + 1), QLatin1Char(' '));
    const QString outer(kIndent * depth, QLatin1Char(' '));
    switch (value.typeId()) {
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash: {
        const QVariantMap map = value.toMap();
        if (map.isEmpty())
            return QStringLiteral("{\n%1}").arg(outer);
        QString text = QStringLiteral("{\n");
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            text += inner + quotedUnlessPlain(it.key()) + QStringLiteral(" = ") + describe(it.value(), depth + 1) + QStringLiteral(";\n");
        return text + outer + QLatin1Char('}');
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        const QVariantList list = value.toList();
        if (list.isEmpty())
            return QStringLiteral("(\n%1)").arg(outer);
        QStringList items;
        for (const QVariant& item : list)
            items << inner + describe(item, depth + 1);
        return QStringLiteral("(\n") + items.join(QStringLiteral(",\n")) + QLatin1Char('\n') + outer + QLatin1Char(')');
    }
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QDateTime:
        return quotedUnlessPlain(value.toDateTime().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss +0000")));
    case QMetaType::QByteArray:
        return QLatin1Char('<') + QString::fromLatin1(value.toByteArray().toHex(' ')) + QLatin1Char('>');
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return QStringLiteral("<null>");
    default:
        return quotedUnlessPlain(value.toString());
    }
}

}  // namespace

QString propertyListDescription(const QVariant& value) { return describe(value, 0); }
