#pragma once
// The kit's notifications: observers run on the posting thread. A front of
// the concurrency library's centre, with the kit's names and tokens.

#include "platform/concurrency/NotificationCenter.h"

#include <functional>
#include <memory>
#include <string>

namespace pln {

inline constexpr const char* kPLNSettingsAvailableNotification = "PLNSettingsAvailableNotification";

class PLNNotificationCenter {
public:
    // Removing the token (letting it go) removes the observer.
    using Token = std::shared_ptr<void>;

    static PLNNotificationCenter& defaultCenter();
    [[nodiscard]] Token addObserver(const std::string& name, std::function<void()> observer);
    void post(const std::string& name);

private:
    PLNNotificationCenter() = default;
    tolvan::BasicNotificationCenter center_;
};

}  // namespace pln
