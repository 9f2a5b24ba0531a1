#include "platform/testing/loopback_server.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace tw::testing {

namespace {

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::string LoopbackRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (equalsIgnoringCase(key, name)) return value;
    }
    return {};
}

struct LoopbackServer::Impl {
    std::unique_ptr<httplib::Server> server;
    bool tls = false;
    std::thread thread;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::atomic<bool> finished{false};
    std::atomic<int> requests{0};
    std::mutex handlerMutex;
    Handler handler = [](const LoopbackRequest&) { return LoopbackResponse{}; };

    void answer(const httplib::Request& request, httplib::Response& response) {
        ++requests;
        LoopbackRequest copy{request.method, request.path, request.body, {}};
        for (const auto& [key, value] : request.headers) copy.headers.emplace(key, value);
        Handler current;
        {
            std::lock_guard lock(handlerMutex);
            current = handler;
        }
        LoopbackResponse reply;
        try {
            reply = current(copy);
        } catch (const std::exception& error) {
            reply = LoopbackResponse{500, error.what(), "text/plain", 0};
        }
        // Short steps, so stopping the server never waits out a long delay.
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(reply.delaySeconds);
        while (!stopping && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        response.status = reply.status;
        for (const auto& [name, value] : reply.headers) response.set_header(name, value);
        if (reply.cutShort) {
            const std::size_t length = reply.body.size();
            response.set_content_provider(
                length, reply.contentType,
                [body = std::move(reply.body)](std::size_t, std::size_t, httplib::DataSink& sink) {
                    sink.write(body.data(), body.size() / 2);
                    return false;  // drops the connection
                });
        } else if (reply.endless) {
            response.set_chunked_content_provider(
                reply.contentType,
                [this, body = std::move(reply.body)](std::size_t, httplib::DataSink& sink) {
                    return !stopping && sink.write(body.data(), body.size());
                });
        } else if (reply.unannounced) {
            response.set_chunked_content_provider(
                reply.contentType, [body = std::move(reply.body)](std::size_t, httplib::DataSink& sink) {
                    sink.write(body.data(), body.size());
                    sink.done();
                    return true;
                });
        } else {
            response.set_content(reply.body, reply.contentType);
        }
    }
};

LoopbackServer::LoopbackServer(std::optional<TlsIdentity> tls) : impl_(std::make_unique<Impl>()) {
    if (tls) {
        impl_->server = std::make_unique<httplib::SSLServer>(
            [&](SSL_CTX& context) { return useIdentity(context, *tls); });
        impl_->tls = true;
    } else {
        impl_->server = std::make_unique<httplib::Server>();
    }
    if (!impl_->server->is_valid())
        throw std::runtime_error("LoopbackServer: the TLS identity does not read");
    auto& server = *impl_->server;
    const auto route = [impl = impl_.get()](const httplib::Request& request, httplib::Response& response) {
        impl->answer(request, response);
    };
    server.Get(".*", route);  // GET and HEAD
    server.Post(".*", route);
    server.Put(".*", route);
    server.Patch(".*", route);
    server.Delete(".*", route);
    server.Options(".*", route);
    // One request per connection and short reads keep shutdown prompt.
    server.set_keep_alive_max_count(1);
    server.set_read_timeout(1, 0);
    impl_->port = server.bind_to_any_port("127.0.0.1");
    if (impl_->port <= 0) throw std::runtime_error("LoopbackServer: cannot bind 127.0.0.1");
    impl_->thread = std::thread([impl = impl_.get()] {
        impl->server->listen_after_bind();
        impl->finished = true;
    });
    // stop() is ignored until the accept loop runs, so the destructor needs it running.
    while (!server.is_running() && !impl_->finished)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackServer::~LoopbackServer() {
    impl_->stopping = true;
    impl_->server->stop();
    impl_->thread.join();
}

void LoopbackServer::setHandler(Handler handler) {
    std::lock_guard lock(impl_->handlerMutex);
    impl_->handler = std::move(handler);
}

int LoopbackServer::port() const { return impl_->port; }

std::string LoopbackServer::baseUrl() const {
    return (impl_->tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(impl_->port);
}

int LoopbackServer::requestCount() const { return impl_->requests; }

}  // namespace tw::testing
