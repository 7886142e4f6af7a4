#pragma once
// Who the user is, for forms that offer to send contact details: the
// account's full name and the address in $EMAIL.

#include <QString>
#include <QStringList>

#include <optional>

namespace tolvan {

struct UserCard {
    QString firstName;
    QString lastName;
    QStringList emailAddresses;

    // The names joined by one space; a missing one leaves no stray space.
    QString fullName() const;
};

// Builds a card from an account's comment field ("Full Name,room,phone,...")
// and an e-mail address; empty when neither holds anything.
std::optional<UserCard> userCardFrom(const QString& accountComment, const QString& email);

// The card of the user running this process.
std::optional<UserCard> myCard();

}  // namespace tolvan
