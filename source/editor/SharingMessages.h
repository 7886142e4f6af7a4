#pragma once
// The short messages that tell others about a new tone, and the addresses of
// the two networks' posting pages that carry them.

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace editor {

// The application's web page, named at the end of the messages.
inline const QString kTolvanWebPage = QStringLiteral("https://tolvan.app/");
// Where a message longer than this many UTF-16 code units loses its artist.
inline constexpr int kShortMessageLimit = 140;

// Puts the arguments in place of the format's "%@" in order, in one pass, so
// an argument that itself holds "%@", "%1" or "%n" stays as it is.
QString formatWithArguments(const QString& format, const QStringList& arguments);

// "Created a ringtone from NAME by ARTIST using Tolvan" and the web page;
// without an artist, without both.
QString ringtoneMessage(const std::optional<QString>& name, const std::optional<QString>& artist);
// The same without the application's name and address.
QString facebookRingtoneMessage(const std::optional<QString>& name, const std::optional<QString>& artist);
// The message for a song; with limit, a message that is too long is made
// again without the artist.
QString sharingMessage(const std::optional<QString>& name, const std::optional<QString>& artist, bool limit);

// The posting pages with the message in their query. Every query value is
// escaped as UTF-8, reserved characters ("&", "=", "+", "#") included.
QUrl facebookPostURL(const QString& message);
QUrl twitterPostURL(const QString& message);

}  // namespace editor
