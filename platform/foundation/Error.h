#pragma once
// A failure as a value: where it came from, its number and a readable message.

#include <QMetaType>
#include <QString>

namespace tolvan {

struct Error {
    QString domain;
    qint64 code = 0;
    QString message;

    QString description() const
    {
        return QStringLiteral("Error Domain=%1 Code=%2 \"%3\"").arg(domain).arg(code).arg(message);
    }
    bool operator==(const Error&) const = default;
};

}  // namespace tolvan

Q_DECLARE_METATYPE(tolvan::Error)
