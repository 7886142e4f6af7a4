#pragma once
// The status of a long-running object (a reader, a writer, an export) and the
// error it ended with. The first end state wins: a cancel that races a
// failure, or a second failure, changes nothing once the object has ended.
// status() and error() may be read from any thread.

#include "platform/foundation/Error.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace tolvan {

// The state behind every EndState, with the status as a number.
class EndStateCore {
public:
    explicit EndStateCore(int64_t initial);
    ~EndStateCore();
    EndStateCore(const EndStateCore&) = delete;
    EndStateCore& operator=(const EndStateCore&) = delete;

    int64_t status() const;
    std::optional<Error> error() const;
    bool hasEnded() const;
    bool advance(int64_t next);
    bool end(int64_t final, std::optional<Error> error);

private:
    struct Private;  // the lock, the status and the error
    std::unique_ptr<Private> d;
};

template <typename Status>
class EndState {
public:
    explicit EndState(Status initial) : core_(int64_t(initial)) {}

    Status status() const { return Status(core_.status()); }
    std::optional<Error> error() const { return core_.error(); }
    bool hasEnded() const { return core_.hasEnded(); }

    // Moves to another status on the way (waiting to exporting); false, and
    // no change, once the object has ended.
    bool advance(Status next) { return core_.advance(int64_t(next)); }

    // Ends with a status and, for a failure, its error. True only for the
    // first end; the error is in place before the status is seen.
    bool end(Status final, std::optional<Error> error = std::nullopt) { return core_.end(int64_t(final), std::move(error)); }

private:
    EndStateCore core_;
};

}  // namespace tolvan
