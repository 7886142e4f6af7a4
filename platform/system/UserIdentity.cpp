#include "platform/system/UserIdentity.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace tolvan {

QString UserCard::fullName() const
{
    QStringList parts;
    for (const QString& part : {firstName, lastName})
        if (!part.isEmpty())
            parts << part;
    return parts.join(u' ');
}

std::optional<UserCard> userCardFrom(const QString& accountComment, const QString& email)
{
    UserCard card;
    const QString name = accountComment.section(u',', 0, 0).simplified();
    card.firstName = name.section(u' ', 0, 0);
    card.lastName = name.section(u' ', 1);
    if (!email.trimmed().isEmpty())
        card.emailAddresses << email.trimmed();
    if (name.isEmpty() && card.emailAddresses.isEmpty())
        return std::nullopt;
    return card;
}

std::optional<UserCard> myCard()
{
    QString comment;
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_gecos)
        comment = QString::fromLocal8Bit(found->pw_gecos);
    return userCardFrom(comment, qEnvironmentVariable("EMAIL"));
}

}  // namespace tolvan
