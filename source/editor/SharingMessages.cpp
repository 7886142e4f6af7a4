#include "source/editor/SharingMessages.h"

#include "platform/foundation/Localizer.h"

namespace editor {

namespace {

const QString kFacebookFeedDialog = QStringLiteral("https://www.facebook.com/dialog/feed?");
const QString kFacebookAppID = QStringLiteral("417093461698011");
const QString kFacebookHomePage = QStringLiteral("https://www.facebook.com/");
const QString kTwitterPostPage = QStringLiteral("https://twitter.com/home?status=");

bool hasText(const std::optional<QString>& text) { return text && !text->isEmpty(); }

QString escaped(const QString& value) { return QString::fromLatin1(QUrl::toPercentEncoding(value)); }

// The localised format for the name and artist given, filled in.
QString message(const std::optional<QString>& name, const std::optional<QString>& artist, const char* withBoth, const char* withName,
                const char* withNeither)
{
    using tolvan::localized;
    if (!hasText(name))
        return localized(QString::fromUtf8(withNeither));
    if (!hasText(artist))
        return formatWithArguments(localized(QString::fromUtf8(withName)), {*name});
    return formatWithArguments(localized(QString::fromUtf8(withBoth)), {*name, *artist});
}

}  // namespace

QString formatWithArguments(const QString& format, const QStringList& arguments)
{
    QString result;
    result.reserve(format.size());
    int next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '@') {
            if (next < arguments.size())
                result += arguments[next];
            ++next;
            ++i;
        } else {
            result += format[i];
        }
    }
    return result;
}

QString ringtoneMessage(const std::optional<QString>& name, const std::optional<QString>& artist)
{
    return message(name, artist, "Created a ringtone from %@ by %@ using Tolvan", "Created a ringtone from %@ using Tolvan",
                   "Created a ringtone using Tolvan")
        + ' ' + kTolvanWebPage;
}

QString facebookRingtoneMessage(const std::optional<QString>& name, const std::optional<QString>& artist)
{
    return message(name, artist, "Created a ringtone from %@ by %@", "Created a ringtone from %@", "Created a ringtone using Tolvan");
}

QString sharingMessage(const std::optional<QString>& name, const std::optional<QString>& artist, bool limit)
{
    QString text = ringtoneMessage(name, artist);
    if (limit && text.size() > kShortMessageLimit)
        text = ringtoneMessage(name, std::nullopt);
    return text;
}

QUrl facebookPostURL(const QString& message)
{
    return QUrl(kFacebookFeedDialog + "app_id=" + escaped(kFacebookAppID) + "&redirect_uri=" + escaped(kFacebookHomePage)
                    + "&message=" + escaped(message),
                QUrl::StrictMode);
}

QUrl twitterPostURL(const QString& message) { return QUrl(kTwitterPostPage + escaped(message), QUrl::StrictMode); }

}  // namespace editor
