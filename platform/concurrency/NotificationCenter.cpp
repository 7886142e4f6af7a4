#include "platform/concurrency/NotificationCenter.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace tolvan {

struct ObserverToken::Registry {
    struct Entry {
        std::uint64_t id;
        std::string name;
        const void* object;
        std::shared_ptr<BasicNotificationCenter::Callback> callback;
    };
    std::mutex mutex;
    std::vector<Entry> entries;
    std::uint64_t nextId = 1;

    void remove(std::uint64_t id)
    {
        std::lock_guard lock(mutex);
        std::erase_if(entries, [id](const Entry& e) { return e.id == id; });
    }

    bool isRegistered(std::uint64_t id)
    {
        std::lock_guard lock(mutex);
        return std::any_of(entries.begin(), entries.end(), [id](const Entry& e) { return e.id == id; });
    }
};

ObserverToken::ObserverToken(ObserverToken&& other) noexcept
    : registry_(std::move(other.registry_)), id_(std::exchange(other.id_, 0))
{
}

ObserverToken& ObserverToken::operator=(ObserverToken&& other) noexcept
{
    if (this != &other) {
        reset();
        registry_ = std::move(other.registry_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void ObserverToken::reset()
{
    if (id_ == 0)
        return;
    if (auto registry = registry_.lock())
        registry->remove(id_);
    id_ = 0;
}

BasicNotificationCenter::BasicNotificationCenter() : registry_(std::make_shared<ObserverToken::Registry>()) {}

BasicNotificationCenter::~BasicNotificationCenter() = default;

ObserverToken BasicNotificationCenter::addObserver(std::string name, const void* object, Callback callback)
{
    if (!callback)
        return {};
    std::lock_guard lock(registry_->mutex);
    std::uint64_t id = registry_->nextId++;
    registry_->entries.push_back({id, std::move(name), object, std::make_shared<Callback>(std::move(callback))});
    return ObserverToken(registry_, id);
}

void BasicNotificationCenter::post(const BasicNotification& notification)
{
    if (notification.name.empty())
        return;
    std::vector<std::pair<std::uint64_t, std::shared_ptr<Callback>>> matching;
    {
        std::lock_guard lock(registry_->mutex);
        for (const auto& e : registry_->entries) {
            bool nameMatches = e.name.empty() || e.name == notification.name;
            bool objectMatches = !e.object || e.object == notification.object;
            if (nameMatches && objectMatches)
                matching.emplace_back(e.id, e.callback);
        }
    }
    for (const auto& [id, callback] : matching) {
        if (registry_->isRegistered(id))  // an earlier observer may have removed this one
            (*callback)(notification);
    }
}

}  // namespace tolvan
