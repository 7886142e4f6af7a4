#include "tests/support/reporting/FakeReportingService.h"

#include "reporting/BRSURLSession/URLTypes.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <stdexcept>
#include <thread>

namespace reportingtest {

std::optional<std::string> RecordedRequest::header(const std::string& name) const
{
    for (const auto& [key, value] : headers)
        if (brs::equalsIgnoringCase(key, name))
            return value;
    return std::nullopt;
}

std::map<std::string, std::string> RecordedRequest::fieldsAsSent() const
{
    static const std::set<std::string> server = {"remote_addr", "remote_port", "local_addr", "local_port"};
    std::map<std::string, std::string> fields;
    for (const auto& [name, value] : headers) {
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        if (!server.count(lower))
            fields.emplace(name, value);
    }
    return fields;
}

std::map<std::string, std::string> RecordedRequest::kitFields() const
{
    auto fields = fieldsAsSent();
    std::erase_if(fields, [](const auto& field) { return brs::equalsIgnoringCase(field.first, "Host"); });
    return fields;
}

std::optional<std::map<std::string, std::string>> RecordedRequest::formKitFields() const
{
    auto fields = kitFields();
    const auto type = fields.find("Content-Type");
    const auto length = fields.find("Content-Length");
    if (type == fields.end() || type->second.rfind("multipart/form-data; boundary=", 0) != 0 || length == fields.end() || length->second.empty())
        return std::nullopt;
    fields.erase(type);
    fields.erase(length);
    return fields;
}

struct FakeReportingService::Server {
    httplib::SSLServer http;
    std::thread thread;
    int port = 0;
    mutable std::mutex mutex;
    std::map<std::pair<std::string, std::string>, std::deque<ScriptedAnswer>> scripts;
    std::vector<RecordedRequest> requests;

    explicit Server(const TestIdentity& leaf) : http(leaf.certificate->x509(), leaf.key.get()) {}

    void handle(const httplib::Request& request, httplib::Response& response, std::vector<RecordedPart> parts = {})
    {
        RecordedRequest recorded{request.method, request.path, {}, {}, {}, request.body, std::move(parts)};
        for (const auto& [key, value] : request.params)
            recorded.query.emplace(key, value);
        recorded.headers.insert(request.headers.begin(), request.headers.end());
        ScriptedAnswer answer{404, "", "text/plain", {}, {}, {}};
        {
            std::lock_guard lock(mutex);
            // The raw query keeps the order in which the client sent the parameters.
            const auto question = request.target.find('?');
            if (question != std::string::npos) {
                std::string query = request.target.substr(question + 1);
                std::size_t start = 0;
                while (start <= query.size()) {
                    const auto end = std::min(query.find('&', start), query.size());
                    const std::string pair = query.substr(start, end - start);
                    const auto equals = pair.find('=');
                    recorded.queryInOrder.emplace_back(pair.substr(0, equals),
                                                       equals == std::string::npos ? "" : httplib::detail::decode_url(pair.substr(equals + 1), false));
                    start = end + 1;
                }
            }
            requests.push_back(recorded);
            auto found = scripts.find({request.method, request.path});
            if (found != scripts.end() && !found->second.empty()) {
                answer = found->second.front();
                if (found->second.size() > 1)
                    found->second.pop_front();
            }
        }
        if (answer.delay.count() > 0)
            std::this_thread::sleep_for(answer.delay);
        response.status = answer.status;
        if (answer.retryAfter)
            response.set_header("Retry-After", *answer.retryAfter);
        if (answer.requestId)
            response.set_header("X-Request-Id", *answer.requestId);
        if (answer.location)
            response.set_header("Location", *answer.location);
        if (answer.trickleInterval.count() > 0) {
            const std::string body = answer.body;
            const auto interval = answer.trickleInterval;
            response.set_content_provider(body.size(), answer.contentType, [body, interval](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset > 0)
                    std::this_thread::sleep_for(interval);
                return sink.write(body.data() + offset, 1);
            });
        } else if (answer.dropAfterBytes) {
            const std::string body = answer.body;
            const std::size_t keep = std::min(*answer.dropAfterBytes, body.size());
            response.set_content_provider(body.size(), answer.contentType, [body, keep](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset < keep)
                    sink.write(body.data() + offset, keep - offset);
                return false;  // ends the connection before the announced length
            });
        } else if (!answer.contentType.empty()) {
            response.set_content(answer.body, answer.contentType.c_str());
        } else {
            response.body = answer.body;
        }
    }
};

FakeReportingService::FakeReportingService(const TestIdentity& leaf) : server_(std::make_unique<Server>(leaf))
{
    auto* server = server_.get();
    if (!server->http.is_valid())
        throw std::runtime_error("the test server cannot use its certificate");
    auto handler = [server](const httplib::Request& request, httplib::Response& response) { server->handle(request, response); };
    const std::string everything = R"(/.*)";
    server->http.Get(everything, handler);
    // A multipart body reaches the handler as its parts, in order.
    server->http.Post(everything, [server](const httplib::Request& request, httplib::Response& response, const httplib::ContentReader& reader) {
        if (!request.is_multipart_form_data()) {
            httplib::Request withBody = request;
            reader([&](const char* data, std::size_t length) {
                withBody.body.append(data, length);
                return true;
            });
            server->handle(withBody, response);
            return;
        }
        std::vector<RecordedPart> parts;
        reader(
            [&](const httplib::MultipartFormData& part) {
                parts.push_back({part.name, part.filename, part.content_type, {}});
                return true;
            },
            [&](const char* data, std::size_t length) {
                parts.back().data.append(data, length);
                return true;
            });
        server->handle(request, response, std::move(parts));
    });
    server->http.Put(everything, handler);
    server->http.Delete(everything, handler);
    server->port = server->http.bind_to_any_port("127.0.0.1");
    if (server->port <= 0)
        throw std::runtime_error("the test server cannot bind");
    server->thread = std::thread([server] { server->http.listen_after_bind(); });
    while (!server->http.is_running())
        std::this_thread::yield();
}

FakeReportingService::~FakeReportingService()
{
    server_->http.stop();
    server_->thread.join();
}

int FakeReportingService::port() const { return server_->port; }

std::string FakeReportingService::baseURL() const { return "https://127.0.0.1:" + std::to_string(server_->port); }

void FakeReportingService::script(const std::string& method, const std::string& path, std::vector<ScriptedAnswer> answers)
{
    std::lock_guard lock(server_->mutex);
    server_->scripts[{method, path}] = std::deque<ScriptedAnswer>(answers.begin(), answers.end());
}

std::vector<RecordedRequest> FakeReportingService::requests() const
{
    std::lock_guard lock(server_->mutex);
    return server_->requests;
}

std::size_t FakeReportingService::requestCount(const std::string& method, const std::string& path) const
{
    std::lock_guard lock(server_->mutex);
    std::size_t count = 0;
    for (const auto& request : server_->requests)
        count += request.method == method && request.path == path;
    return count;
}

}  // namespace reportingtest
