#include "kit/PLNNotificationCenter.h"

#include <map>
#include <mutex>
#include <vector>

namespace pln {

struct PLNNotificationCenter::State {
    std::mutex mutex;
    unsigned long next = 0;
    std::map<unsigned long, std::pair<std::string, std::shared_ptr<std::function<void()>>>> observers;
};

PLNNotificationCenter::PLNNotificationCenter() : state_(std::make_shared<State>()) {}

PLNNotificationCenter& PLNNotificationCenter::defaultCenter()
{
    static auto* center = new PLNNotificationCenter;
    return *center;
}

PLNNotificationCenter::Token PLNNotificationCenter::addObserver(const std::string& name, std::function<void()> observer)
{
    std::lock_guard lock(state_->mutex);
    const unsigned long id = state_->next++;
    state_->observers[id] = {name, std::make_shared<std::function<void()>>(std::move(observer))};
    std::weak_ptr<State> weak = state_;
    return std::shared_ptr<void>(nullptr, [weak, id](void*) {
        if (auto state = weak.lock()) {
            std::lock_guard lock(state->mutex);
            state->observers.erase(id);
        }
    });
}

void PLNNotificationCenter::post(const std::string& name)
{
    std::vector<std::shared_ptr<std::function<void()>>> matching;
    {
        std::lock_guard lock(state_->mutex);
        for (const auto& [id, entry] : state_->observers)
            if (entry.first == name)
                matching.push_back(entry.second);
    }
    for (const auto& observer : matching)
        (*observer)();
}

}  // namespace pln
