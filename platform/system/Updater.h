#pragma once
// The application's update checker. It keeps two settings the preferences
// show, and on "Check Now..." reads the appcast when a feed is configured;
// without one (a copy from the package manager or the user's own build) it
// answers that whoever installed the copy updates it.

#include "platform/foundation/Error.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;

namespace tolvan {

class Bundle;
class UserDefaults;

struct AppcastItem {
    QString version;
    QString displayVersion;
    QUrl link;
};

// The newest item of an appcast (an RSS feed whose items carry a "version"
// attribute on their enclosure, or a "version" element); empty when the
// feed lists none, and empty with error filled when it cannot be read.
std::optional<AppcastItem> newestAppcastItem(const QByteArray& feed, Error* error = nullptr);

struct UpdateCheckResult {
    std::optional<AppcastItem> newerVersion;  // empty: up to date
    std::optional<Error> error;
    // No feed to read: the package manager or a new build brings this copy's updates.
    bool updatedByInstaller = false;
};

class Updater : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE setAutomaticallyChecksForUpdates
                   NOTIFY automaticallyChecksForUpdatesChanged)
    Q_PROPERTY(bool sendsSystemProfile READ sendsSystemProfile WRITE setSendsSystemProfile NOTIFY sendsSystemProfileChanged)
public:
    Updater(UserDefaults& defaults, const Bundle& bundle, QObject* parent = nullptr);

    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool on);
    bool sendsSystemProfile() const;
    void setSendsSystemProfile(bool on);

    // The feed from the defaults or the information dictionary ("UpdateFeedURL").
    std::optional<QUrl> feedURL() const;

    // The user's check: reads the feed, or finds there is none, and reports
    // through checkFinished.
    void checkForUpdates();
    // The automatic check at launch: reports only a newer version; without a
    // feed, on an error or when up to date it stays quiet.
    void checkForUpdatesInBackground();

signals:
    void automaticallyChecksForUpdatesChanged(bool on);
    void sendsSystemProfileChanged(bool on);
    void checkFinished(const tolvan::UpdateCheckResult& result);

private:
    void readFeed(const QUrl& feed, bool quietUnlessNewer);

    UserDefaults& defaults_;
    const Bundle& bundle_;
    QNetworkAccessManager* network_;
};

}  // namespace tolvan
