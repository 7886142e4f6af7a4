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
    // What a person reads: the message, else a generic sentence naming the
    // domain and code.
    QString localizedDescription() const
    {
        if (!message.isEmpty())
            return message;
        return QStringLiteral("The operation couldn’t be completed. (%1 error %2.)").arg(domain).arg(code);
    }
    bool operator==(const Error&) const = default;
};

// The file system's errors, as the error view reads them.
inline const QString NSCocoaErrorDomain = QStringLiteral("NSCocoaErrorDomain");
enum CocoaErrorCode : qint64 {
    NSFileNoSuchFileError = 4,
};

}  // namespace tolvan

Q_DECLARE_METATYPE(tolvan::Error)
