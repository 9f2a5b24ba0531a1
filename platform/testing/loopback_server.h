#pragma once
// A real HTTP server on 127.0.0.1 and a free port, for tests of HTTP clients; given an
// identity, an https one.
// Handlers run on the server's own threads.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/testing/test_authority.h"

namespace tw::testing {

struct LoopbackRequest {
    std::string method;
    std::string path;
    std::string body;
    std::string header(const std::string& name) const;
    std::multimap<std::string, std::string> headers;
};

struct LoopbackResponse {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    double delaySeconds = 0;   // wait before answering (time-out tests)
    bool unannounced = false;  // no Content-Length: the body goes out chunked, in one write
    bool endless = false;      // no Content-Length: the body goes out again and again until the client goes
    bool cutShort = false;  // the whole length is announced, half the body sent, then the connection dropped
    std::multimap<std::string, std::string> headers{};  // sent as they are, e.g. a Content-Encoding
};

class LoopbackServer {
   public:
    using Handler = std::function<LoopbackResponse(const LoopbackRequest&)>;
    explicit LoopbackServer(std::optional<TlsIdentity> tls = std::nullopt);
    ~LoopbackServer();  // stops and joins
    // Every request goes to `handler` (replaceable at any time).
    void setHandler(Handler handler);
    int port() const;
    std::string baseUrl() const;  // "http://127.0.0.1:<port>", or "https://..."
    int requestCount() const;

   private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tw::testing
