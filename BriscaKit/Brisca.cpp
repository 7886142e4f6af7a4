#include "BriscaKit/Brisca.h"

#include "BriscaKit/BRSUserLogging.h"

#include <cstdarg>
#include <cstdio>

namespace {

// Taken during static initialisation, before main() runs: the process's start.
const std::chrono::steady_clock::time_point kProcessStart = std::chrono::steady_clock::now();

}  // namespace

Brisca::Brisca() : processStart_(kProcessStart) {}

Brisca* Brisca::sharedInstance()
{
    static Brisca* instance = new Brisca;  // lives until exit, also for late loggers
    return instance;
}

Brisca* Brisca::startWithAPIKey(const std::string& apiKey)
{
    Brisca* kit = sharedInstance();
    std::lock_guard lock(kit->mutex_);
    if (!kit->started_) {
        kit->started_ = true;
        kit->apiKey_ = apiKey;
    }
    return kit;
}

bool Brisca::isStarted() const
{
    std::lock_guard lock(mutex_);
    return started_;
}

std::string Brisca::apiKey() const
{
    std::lock_guard lock(mutex_);
    return apiKey_;
}

void Brisca::setObjectValue(const std::optional<std::string>& value, const std::string& key)
{
    std::lock_guard lock(mutex_);
    if (!started_)
        return;
    customKeys_[key] = value;
    BRSUserLoggingRecordUserKeyValue(key, value);  // into the report once crash capture runs
}

void Brisca::recordLogMessage(std::string message)
{
    auto elapsed = std::chrono::steady_clock::now() - processStart_;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    std::lock_guard lock(mutex_);
    if (!started_)
        return;
    BRSUserLoggingRecordMessage(message);  // into the report once crash capture runs
    logLines_.push_back({std::uint64_t(ms < 0 ? 0 : ms), std::move(message)});
}

std::vector<BRSLogLine> Brisca::logLines() const
{
    std::lock_guard lock(mutex_);
    return logLines_;
}

std::map<std::string, std::optional<std::string>> Brisca::customKeys() const
{
    std::lock_guard lock(mutex_);
    return customKeys_;
}

void BRSUserLoggingLog(const char* format, ...)
{
    if (!format)
        return;
    Brisca* kit = Brisca::sharedInstance();
    if (!kit->isStarted())
        return;
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string message;
    if (length > 0) {
        message.resize(size_t(length));
        std::vsnprintf(message.data(), size_t(length) + 1, format, args);
    }
    va_end(args);
    kit->recordLogMessage(std::move(message));
}
