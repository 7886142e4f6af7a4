#pragma once
// One usage event as it stands in a log file: a line of the timestamp, a
// TAB and the key, then, when there is a payload, a TAB, the payload's
// length, a TAB and the payload's bytes unchanged, and a line feed. The
// length, not the line end, delimits the payload.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class BRSEventLogEvent {
public:
    BRSEventLogEvent(uint64_t priority, uint64_t timestamp, std::string key, std::optional<std::string> payload = std::nullopt);
    virtual ~BRSEventLogEvent() = default;

    uint64_t priority() const { return priority_; }
    uint64_t timestamp() const { return timestamp_; }
    const std::string& key() const { return key_; }
    const std::optional<std::string>& payload() const { return payload_; }

    std::string eventData() const;
    bool operator==(const BRSEventLogEvent& other) const;
    std::size_t hash() const;

private:
    uint64_t priority_;
    uint64_t timestamp_;
    std::string key_;
    std::optional<std::string> payload_;
};
