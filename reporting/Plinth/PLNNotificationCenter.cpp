#include "reporting/Plinth/PLNNotificationCenter.h"

namespace pln {

PLNNotificationCenter& PLNNotificationCenter::defaultCenter()
{
    static auto* center = new PLNNotificationCenter;  // observers may go after static destructors
    return *center;
}

PLNNotificationCenter::Token PLNNotificationCenter::addObserver(const std::string& name, std::function<void()> observer)
{
    // The kit's observers always name what they observe.
    if (name.empty() || !observer)
        return nullptr;
    auto token = center_.addObserver(name, nullptr, [observer = std::move(observer)](const tolvan::BasicNotification&) { observer(); });
    return std::make_shared<tolvan::ObserverToken>(std::move(token));
}

void PLNNotificationCenter::post(const std::string& name) { center_.post({name, nullptr, {}}); }

}  // namespace pln
