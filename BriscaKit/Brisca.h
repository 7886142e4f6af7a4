#pragma once
// Front of the crash-reporting kit: started once at launch, then fed custom
// keys and log lines for the report of the current run.

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct BRSLogLine {
    std::uint64_t millisecondsSinceStart;
    std::string message;
};

class Brisca {
public:
    // Starts the kit with the reporting service's key and returns the shared object.
    static Brisca* startWithAPIKey(const std::string& apiKey);
    static Brisca* sharedInstance();

    // Records value (the value's text) as a custom key of this run's report;
    // an absent value is recorded as absent. Nothing is kept before start.
    void setObjectValue(const std::optional<std::string>& value, const std::string& key);

    bool isStarted() const;
    std::string apiKey() const;

    // What this run's report holds so far.
    std::vector<BRSLogLine> logLines() const;
    std::map<std::string, std::optional<std::string>> customKeys() const;

    // Used by BRSUserLoggingLog.
    void recordLogMessage(std::string message);

private:
    Brisca();

    mutable std::mutex mutex_;
    bool started_ = false;
    std::string apiKey_;
    std::chrono::steady_clock::time_point processStart_;
    std::vector<BRSLogLine> logLines_;
    std::map<std::string, std::optional<std::string>> customKeys_;
};

// printf-style: formats its arguments into one log line of this run's report.
// Nothing is recorded for a null format or before the kit has started.
void BRSUserLoggingLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
