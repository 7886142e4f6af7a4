#pragma once
// The URL-session layer's private state, shared by the sessions and tasks
// (BRSURLSession.cpp) and the transfer engine (TransferEngine.cpp).

#include "reporting/BRSURLSession/BRSURLSession.h"

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace brs {

// A task's state, shared between the engine thread and the task's queue.
struct BRSURLSessionTask::State {
    mutable std::mutex mutex;  // guards response, error and description
    std::optional<URLResponse> response;
    std::optional<Error> error;
    std::string description;
    std::atomic<bool> started{false};

    // Engine thread only.
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    FILE* bodyFile = nullptr;
    URLResponse receiving;
    bool challengeCancelled = false;
    // The idle time-out: the time of the last byte in either direction.
    std::chrono::milliseconds idleLimit{0};
    std::chrono::steady_clock::time_point lastActivity;
    curl_off_t bytesMoved = 0;
    bool idleTooLong = false;

    // Where the transfer's events reach the task.
    std::shared_ptr<SerialQueue> queue = std::make_shared<SerialQueue>("com.brisca.URLSessionTask");
};

struct BRSURLSession::Queues {
    std::shared_ptr<SerialQueue> own = std::make_shared<SerialQueue>("com.brisca.URLSession");
    std::shared_ptr<SerialQueue> delegate;
};


// The engine: one thread that runs every transfer of the process through a
// curl multi handle (TransferEngine.cpp).
void TransferEngineAdd(std::shared_ptr<BRSURLSessionTask> task);
// Whether the layer can send a request to the URL: http and https only.
bool TransferEngineCanSend(const std::string& url);

}  // namespace brs
