#pragma once
// The kit's notifications: observers run on the posting thread.

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
    struct State;
    std::shared_ptr<State> state_;
    PLNNotificationCenter();
};

}  // namespace pln
