#pragma once
// Named notifications delivered to observers, optionally filtered by sender.

#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tolvan {

struct Notification {
    QString name;
    const void* object = nullptr;  // the sender's identity, compared by address
    QVariantMap userInfo;
};

class NotificationCenter;

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
    friend class NotificationCenter;
    ObserverToken(std::weak_ptr<NotificationCenter*> center, std::uint64_t id) : center_(std::move(center)), id_(id) {}
    std::weak_ptr<NotificationCenter*> center_;
    std::uint64_t id_ = 0;
};

class NotificationCenter {
public:
    using Callback = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // An empty name observes every notification; a null object observes every sender.
    [[nodiscard]] ObserverToken addObserver(const QString& name, const void* object, Callback callback);

    // Runs the matching observers on the calling thread, in the order they were
    // added. Observers may add or remove observers while they run. A notification
    // without a name is ignored.
    void post(const QString& name, const void* object = nullptr, const QVariantMap& userInfo = {});

private:
    friend class ObserverToken;
    void remove(std::uint64_t id);
    bool isRegistered(std::uint64_t id);

    struct Entry {
        std::uint64_t id;
        QString name;
        const void* object;
        std::shared_ptr<Callback> callback;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
    std::uint64_t nextId_ = 1;
    std::shared_ptr<NotificationCenter*> self_;  // tokens hold it weakly
};

}  // namespace tolvan
