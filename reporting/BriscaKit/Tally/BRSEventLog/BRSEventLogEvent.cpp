#include "reporting/BriscaKit/Tally/BRSEventLog/BRSEventLogEvent.h"

#include <functional>

BRSEventLogEvent::BRSEventLogEvent(uint64_t priority, uint64_t timestamp, std::string key, std::optional<std::string> payload)
    : priority_(priority), timestamp_(timestamp), key_(std::move(key)), payload_(std::move(payload))
{
}

std::string BRSEventLogEvent::eventData() const
{
    std::string line = std::to_string(static_cast<long long>(timestamp_)) + '\t' + key_;
    if (payload_)
        line += '\t' + std::to_string(payload_->size()) + '\t' + *payload_;
    line += '\n';
    return line;
}

bool BRSEventLogEvent::operator==(const BRSEventLogEvent& other) const
{
    return priority_ == other.priority_ && timestamp_ == other.timestamp_ && key_ == other.key_ && payload_ == other.payload_;
}

std::size_t BRSEventLogEvent::hash() const
{
    const std::size_t payloadHash = payload_ ? std::hash<std::string>{}(*payload_) : 0;
    return std::size_t(priority_) + 2 * std::size_t(timestamp_) + 4 * std::hash<std::string>{}(key_) + 8 * payloadHash;
}
