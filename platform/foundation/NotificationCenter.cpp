#include "platform/foundation/NotificationCenter.h"

#include <algorithm>

namespace tolvan {

ObserverToken::ObserverToken(ObserverToken&& other) noexcept
    : center_(std::move(other.center_)), id_(std::exchange(other.id_, 0))
{
}

ObserverToken& ObserverToken::operator=(ObserverToken&& other) noexcept
{
    if (this != &other) {
        reset();
        center_ = std::move(other.center_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void ObserverToken::reset()
{
    if (id_ == 0)
        return;
    if (auto center = center_.lock())
        (*center)->remove(id_);
    id_ = 0;
}

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::NotificationCenter() : self_(std::make_shared<NotificationCenter*>(this)) {}

NotificationCenter::~NotificationCenter() = default;

ObserverToken NotificationCenter::addObserver(const QString& name, const void* object, Callback callback)
{
    if (!callback)
        return {};
    std::lock_guard lock(mutex_);
    std::uint64_t id = nextId_++;
    entries_.push_back({id, name, object, std::make_shared<Callback>(std::move(callback))});
    return ObserverToken(self_, id);
}

void NotificationCenter::remove(std::uint64_t id)
{
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [id](const Entry& e) { return e.id == id; });
}

bool NotificationCenter::isRegistered(std::uint64_t id)
{
    std::lock_guard lock(mutex_);
    return std::any_of(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
}

void NotificationCenter::post(const QString& name, const void* object, const QVariantMap& userInfo)
{
    if (name.isEmpty())
        return;
    std::vector<std::pair<std::uint64_t, std::shared_ptr<Callback>>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& e : entries_) {
            bool nameMatches = e.name.isEmpty() || e.name == name;
            bool objectMatches = !e.object || e.object == object;
            if (nameMatches && objectMatches)
                matching.emplace_back(e.id, e.callback);
        }
    }
    const Notification notification{name, object, userInfo};
    for (const auto& [id, callback] : matching) {
        if (isRegistered(id))  // an earlier observer may have removed this one
            (*callback)(notification);
    }
}

}  // namespace tolvan
