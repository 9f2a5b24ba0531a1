#pragma once
// Asynchronous HTTP. The completion runs exactly once, on the main queue the client
// was given, whether the request succeeded, failed or timed out; a client destroyed
// first may drop it unrun.
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace tw {

struct HttpRequest {
    std::string method = "GET";  // "GET" or "POST" (others passed through)
    std::string url;
    std::map<std::string, std::string> headers;
    std::string body;
    double timeoutSeconds = 30;
    // 0: no limit. A longer answer is cut off as it arrives and reported as an error.
    std::size_t maxResponseBytes = 0;
};

struct HttpResponse {
    int status = 0;                              // 0 when no HTTP answer arrived
    std::map<std::string, std::string> headers;  // lower-case names
    std::string body;
    std::optional<std::string> error;  // transport failure text; empty on an HTTP answer
    bool timedOut = false;

    bool ok() const { return !error && status >= 200 && status < 300; }
};

class HttpClient {
   public:
    using Completion = std::function<void(HttpResponse)>;
    virtual ~HttpClient() = default;
    virtual void send(HttpRequest request, Completion completion) = 0;
};

}  // namespace tw
