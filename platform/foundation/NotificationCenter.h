#pragma once
// Named notifications delivered to observers, optionally filtered by sender:
// the application's front of the concurrency library's centre, with Qt's
// strings and maps.

#include "platform/concurrency/NotificationCenter.h"

#include <QString>
#include <QVariantMap>

#include <functional>

namespace tolvan {

struct Notification {
    QString name;
    const void* object = nullptr;  // the sender's identity, compared by address
    QVariantMap userInfo;
};

class NotificationCenter {
public:
    using Callback = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // An empty name observes every notification; a null object observes every sender.
    [[nodiscard]] ObserverToken addObserver(const QString& name, const void* object, Callback callback);

    // Runs the matching observers on the calling thread, in the order they were
    // added. Observers may add or remove observers while they run. A notification
    // without a name is ignored.
    void post(const QString& name, const void* object = nullptr, const QVariantMap& userInfo = {});

private:
    BasicNotificationCenter center_;
};

}  // namespace tolvan
