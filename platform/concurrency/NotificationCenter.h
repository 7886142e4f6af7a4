#pragma once
// Named notifications delivered to observers, optionally filtered by sender.
// The application's and the kit's notification centres are fronts of this
// one, each with the types of its own layer.

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tolvan {

struct BasicNotification {
    std::string name;
    const void* object = nullptr;  // the sender's identity, compared by address
    std::any userInfo;
};

class BasicNotificationCenter;

// Removes its observer when destroyed or reset; movable, not copyable.
class ObserverToken {
public:
    ObserverToken() = default;
    ObserverToken(ObserverToken&& other) noexcept;
    ObserverToken& operator=(ObserverToken&& other) noexcept;
    ~ObserverToken() { reset(); }

    void reset();
    explicit operator bool() const { return id_ != 0; }

private:
    friend class BasicNotificationCenter;
    struct Registry;
    ObserverToken(std::weak_ptr<Registry> registry, std::uint64_t id) : registry_(std::move(registry)), id_(id) {}
    std::weak_ptr<Registry> registry_;
    std::uint64_t id_ = 0;
};

class BasicNotificationCenter {
public:
    using Callback = std::function<void(const BasicNotification&)>;

    BasicNotificationCenter();
    ~BasicNotificationCenter();
    BasicNotificationCenter(const BasicNotificationCenter&) = delete;
    BasicNotificationCenter& operator=(const BasicNotificationCenter&) = delete;

    // An empty name observes every notification; a null object observes every sender.
    [[nodiscard]] ObserverToken addObserver(std::string name, const void* object, Callback callback);

    // Runs the matching observers on the calling thread, in the order they were
    // added. Observers may add or remove observers while they run; one removed
    // before its turn is not called. A notification without a name is ignored.
    void post(const BasicNotification& notification);

private:
    std::shared_ptr<ObserverToken::Registry> registry_;  // tokens hold it weakly
};

}  // namespace tolvan
