#pragma once
// A real HTTPS server on 127.0.0.1 that stands in for the reporting service:
// each route answers from a script, and every request is recorded.

#include "tests/support/reporting/TestPKI.h"

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace reportingtest {

struct ScriptedAnswer {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    std::optional<std::string> retryAfter;
    std::optional<std::string> requestId;
    // Announces the whole body but closes the connection after this many bytes.
    std::optional<std::size_t> dropAfterBytes;
    // Waits this long before answering, as a slow service does.
    std::chrono::milliseconds delay{0};
    // Sends the body one byte at a time, this long apart, as a slow link does.
    std::chrono::milliseconds trickleInterval{0};
    // The "Location" header of a redirect.
    std::optional<std::string> location;
};

// One part of a "multipart/form-data" request, as it came.
struct RecordedPart {
    std::string name;
    std::string fileName;
    std::string contentType;
    std::string data;
};

struct RecordedRequest {
    std::string method;
    std::string path;
    std::multimap<std::string, std::string> query;  // in the order they came
    std::vector<std::pair<std::string, std::string>> queryInOrder;
    std::multimap<std::string, std::string> headers;
    std::string body;  // empty for a multipart request: see parts
    std::vector<RecordedPart> parts;
    std::optional<std::string> header(const std::string& name) const;
    // Every header field that came, each name as it was written, without
    // the server's own address fields.
    std::map<std::string, std::string> fieldsAsSent() const;
    // fieldsAsSent() without "Host", which the transfer library adds.
    std::map<std::string, std::string> kitFields() const;
    // kitFields() of a multipart form without the two fields that describe
    // its body; nothing unless they name a form and a length.
    std::optional<std::map<std::string, std::string>> formKitFields() const;
};

class FakeReportingService {
public:
    // Serves with the given leaf (its own chain is the leaf alone).
    explicit FakeReportingService(const TestIdentity& leaf);
    ~FakeReportingService();

    int port() const;
    std::string baseURL() const;  // "https://127.0.0.1:PORT"

    // Answers for a method and path, used one after another; the last one
    // repeats. A route without a script answers 404.
    void script(const std::string& method, const std::string& path, std::vector<ScriptedAnswer> answers);
    std::vector<RecordedRequest> requests() const;
    std::size_t requestCount(const std::string& method, const std::string& path) const;

private:
    struct Server;
    std::unique_ptr<Server> server_;
};

}  // namespace reportingtest
