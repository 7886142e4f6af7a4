#include "platform/foundation/NotificationCenter.h"

namespace tolvan {

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

ObserverToken NotificationCenter::addObserver(const QString& name, const void* object, Callback callback)
{
    if (!callback)
        return {};
    // The notification travels whole as the user info, made once per post.
    return center_.addObserver(name.toStdString(), object, [callback = std::move(callback)](const BasicNotification& n) {
        callback(std::any_cast<const Notification&>(n.userInfo));
    });
}

void NotificationCenter::post(const QString& name, const void* object, const QVariantMap& userInfo)
{
    if (name.isEmpty())
        return;
    center_.post({name.toStdString(), object, Notification{name, object, userInfo}});
}

}  // namespace tolvan
