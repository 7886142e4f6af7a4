#include "platform/system/Version.h"

#include <QStringList>

namespace tolvan {

namespace {

qint64 leadingNumber(const QString& component)
{
    qint64 value = 0;
    for (QChar c : component) {
        if (!c.isDigit() || c.unicode() > 127)
            break;
        value = value * 10 + c.digitValue();
        if (value > 1'000'000'000'000LL)
            break;  // absurdly long components compare as equal rather than overflow
    }
    return value;
}

}  // namespace

int compareVersions(const QString& a, const QString& b)
{
    const QStringList left = a.split(u'.');
    const QStringList right = b.split(u'.');
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const qint64 x = i < left.size() ? leadingNumber(left[i]) : 0;
        const qint64 y = i < right.size() ? leadingNumber(right[i]) : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

}  // namespace tolvan
