#include "platform/testing/loopback_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace tw::testing {
namespace {

// A bare HTTP/1.1 exchange, so the server is checked without the client under test.
std::string sendRaw(int port, const std::string& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        ssize_t count = 0;
        while ((count = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            reply.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return reply;
}

std::string post(int port, const std::string& path, const std::string& body) {
    return sendRaw(port, "POST " + path +
                             " HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Flea: Pip\r\nContent-Type: text/plain\r\n"
                             "Content-Length: " +
                             std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

TEST(LoopbackServerTest, AnswersAnyMethodAndPathWithTheHandlersReply) {
    LoopbackServer server;
    EXPECT_EQ(server.baseUrl(), "http://127.0.0.1:" + std::to_string(server.port()));
    LoopbackRequest seen;
    server.setHandler([&](const LoopbackRequest& request) {
        seen = request;
        return LoopbackResponse{201, R"({"ok":true})", "application/json", 0};
    });
    const std::string reply = post(server.port(), "/v1/events?x=1", "hello");
    EXPECT_EQ(reply.rfind("HTTP/1.1 201", 0), 0u) << reply;
    EXPECT_NE(reply.find(R"({"ok":true})"), std::string::npos);
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.path, "/v1/events");
    EXPECT_EQ(seen.body, "hello");
    EXPECT_EQ(seen.header("x-flea"), "Pip");

    const std::string deleted =
        sendRaw(server.port(), "DELETE /anything HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(deleted.rfind("HTTP/1.1 201", 0), 0u) << deleted;
    EXPECT_EQ(server.requestCount(), 2);
}

TEST(LoopbackServerTest, DelaysTheAnswerAndStillStopsPromptlyMidDelay) {
    auto server = std::make_unique<LoopbackServer>();
    server->setHandler([](const LoopbackRequest& request) {
        return LoopbackResponse{200, "late", "text/plain", request.path == "/short" ? 0.2 : 600.0};
    });
    const auto start = std::chrono::steady_clock::now();
    const std::string reply = post(server->port(), "/short", "");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_NE(reply.find("late"), std::string::npos);

    // A request stuck in a ten-minute delay must not hold up the destructor.
    const int port = server->port();
    std::thread client([port] { post(port, "/long", ""); });
    while (server->requestCount() < 2) std::this_thread::yield();
    server.reset();
    client.join();
}

}  // namespace
}  // namespace tw::testing
