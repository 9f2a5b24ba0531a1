#include "platform/qt/qt_http_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "platform/http_language_model.h"
#include "platform/json.h"
#include "platform/log.h"
#include "platform/qt/qt_main_queue.h"
#include "platform/testing/loopback_server.h"
#include "qt_event_pump.h"

namespace tw {
namespace {

struct Calls {
    int count = 0;
    std::optional<HttpResponse> last;
    HttpClient::Completion completion() {
        return [this](HttpResponse response) {
            ++count;
            last = std::move(response);
        };
    }
};

// `chunks` times `chunk` packed as one gzip stream.
std::string gzipped(const std::string& chunk, int chunks = 1) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, MAX_WBITS + 16, 9, Z_DEFAULT_STRATEGY);
    std::string packed;
    char out[1 << 16];
    for (int i = 0; i < chunks; ++i) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data()));
        stream.avail_in = static_cast<uInt>(chunk.size());
        const int flush = i + 1 == chunks ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(out);
            stream.avail_out = sizeof out;
            deflate(&stream, flush);
            packed.append(out, sizeof out - stream.avail_out);
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return packed;
}

// This process's resident memory ("VmRSS:") or its peak since the peak was last reset
// ("VmHWM:"), in MiB.
long memoryMib(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(field.size())) / 1024;
    }
    return -1;
}

// False where the kernel does not let this process reset its peak (some sandboxes).
bool resetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5" << std::flush;
    return clear.good();
}

// A server on loopback that answers its one connection with a status line and then header
// lines without end, until the connection is closed under it.
class EndlessHeaders {
   public:
    EndlessHeaders() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        listen(listener_, 1);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            const int connection = accept(listener_, nullptr, nullptr);
            char request[4096];
            [[maybe_unused]] const auto ignored = recv(connection, request, sizeof request, 0);
            std::string lines = "HTTP/1.1 200 OK\r\n";
            for (int i = 0; i < 100; ++i) lines += "X-Filler: " + std::string(100, 'a') + "\r\n";
            // Never blocked for long, so the server can be stopped whatever the client does.
            const timeval step{0, 50 * 1000};
            setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &step, sizeof step);
            while (!stopping_) {
                if (send(connection, lines.data(), lines.size(), MSG_NOSIGNAL) < 0 && errno != EAGAIN) break;
            }
            ended_ = !stopping_;
            close(connection);
        });
    }
    ~EndlessHeaders() {
        stopping_ = true;
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(listener_);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/feed"; }
    bool ended() const { return ended_; }

   private:
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

TEST(QtHttpClient, PostsHeadersAndBodyAndReadsTheAnswer) {
    testing::LoopbackServer server;
    testing::LoopbackRequest seen;
    server.setHandler([&](const testing::LoopbackRequest& request) {
        seen = request;
        return testing::LoopbackResponse{201, R"({"ok":true})"};
    });
    QtMainQueue main;
    QtHttpClient client(main);
    Calls calls;
    HttpRequest request;
    request.method = "POST";
    request.url = server.baseUrl() + "/events";
    request.headers["Content-Type"] = "application/json";
    request.headers["Authorization"] = "Bearer abc";
    request.body = R"({"n":1})";
    client.send(request, calls.completion());
    ASSERT_TRUE(pumpUntil([&] { return calls.count > 0; }));
    EXPECT_EQ(calls.count, 1);
    EXPECT_EQ(calls.last->status, 201);
    EXPECT_TRUE(calls.last->ok());
    EXPECT_EQ(calls.last->body, R"({"ok":true})");
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.path, "/events");
    EXPECT_EQ(seen.body, R"({"n":1})");
    EXPECT_EQ(seen.header("Authorization"), "Bearer abc");
}

// Once the status line is in, what goes wrong with the body is still a failed request;
// an error status with its body is an answer, not a transport failure.
TEST(QtHttpClient, ABodyThatFailsAfterTheStatusIsAnErrorAndAnErrorStatusAnAnswer) {
    struct Row {
        const char* name;
        testing::LoopbackResponse response;
        bool failed;
    };
    testing::LoopbackResponse cut{200, std::string(256 * 1024, 'x'), "application/octet-stream"};
    cut.cutShort = true;
    testing::LoopbackResponse badGzip{200, std::string(64 * 1024, 'x'), "application/octet-stream"};
    badGzip.headers = {{"Content-Encoding", "gzip"}};
    // Packed, cut at half its announced length, or whole in length but half a stream.
    const std::string packed = gzipped(std::string(256 * 1024, 'x') + "end");
    testing::LoopbackResponse cutGzip{200, packed, "application/octet-stream"};
    cutGzip.headers = badGzip.headers;
    cutGzip.cutShort = true;
    testing::LoopbackResponse halfGzip{200, packed.substr(0, packed.size() / 2), "application/octet-stream"};
    halfGzip.headers = badGzip.headers;
    halfGzip.unannounced = true;
    testing::LoopbackResponse gzip404{404, gzipped("no such flea"), "application/octet-stream"};
    gzip404.headers = badGzip.headers;
    for (const Row& row : {Row{"reset mid-body", cut, true}, Row{"bad gzip", badGzip, true},
                           Row{"gzip cut short", cutGzip, true}, Row{"half a gzip stream", halfGzip, true},
                           Row{"404 with a body", {404, "no such flea", "text/plain"}, false},
                           Row{"404 with a gzip body", gzip404, false},
                           Row{"503 with a body", {503, "no such flea"}, false}}) {
        SCOPED_TRACE(row.name);
        testing::LoopbackServer server;
        server.setHandler([&](const testing::LoopbackRequest&) { return row.response; });
        QtMainQueue main;
        QtHttpClient client(main);
        Calls calls;
        // Capped as the feed is: such a request unpacks its answer itself.
        client.send({"GET", server.baseUrl() + "/x", {}, "", 5, 1 << 20}, calls.completion());
        ASSERT_TRUE(pumpUntil([&] { return calls.count > 0; }));
        EXPECT_EQ(calls.last->error.has_value(), row.failed) << calls.last->body.size() << " bytes";
        EXPECT_EQ(calls.last->body, row.failed ? "" : "no such flea");
        EXPECT_EQ(calls.last->status, row.response.status);
        EXPECT_FALSE(calls.last->ok());
    }
}

// Written a chunk at a time and without end, an answer is cut as soon as it passes its
// cap, not at its deadline ("larger than", never "timed out"): plain, and as JSON, which
// the server packs with gzip. A small gzip body that unpacks to 256 MiB is cut at its
// cap as well, never held whole.
TEST(QtHttpClient, AnEndlessAnswerFailsSoonAfterItPassesItsCap) {
    struct Row {
        const char* name;
        testing::LoopbackResponse response;
        std::size_t cap;
        long maxPeakMib;  // room for the kept bytes as they grow, and for Qt's buffers
    };
    testing::LoopbackResponse plain{200, std::string(16 * 1024, ' '), "application/octet-stream"};
    plain.endless = true;
    testing::LoopbackResponse json{200, std::string(16 * 1024, ' '), "application/json"};
    json.endless = true;
    testing::LoopbackResponse bomb{200, gzipped(std::string(std::size_t{1} << 20, '\0'), 256),
                                   "application/octet-stream"};
    bomb.headers = {{"Content-Encoding", "gzip"}};
    for (const Row& row : {Row{"plain", plain, std::size_t{8} << 20, 256},
                           Row{"gzip", json, std::size_t{8} << 20, 256}, Row{"bomb", bomb, 64 * 1024, 32}}) {
        SCOPED_TRACE(row.name);
        testing::LoopbackServer server;
        server.setHandler([&](const testing::LoopbackRequest&) { return row.response; });
        QtMainQueue main;
        QtHttpClient client(main);
        Calls calls;
        HttpRequest request{"GET", server.baseUrl() + "/feed", {}, "", 10};
        request.maxResponseBytes = row.cap;
        const bool peakReset = resetPeakMemory();
        const long before = memoryMib("VmRSS:");
        const auto start = std::chrono::steady_clock::now();
        client.send(request, calls.completion());
        ASSERT_TRUE(pumpUntil([&] { return calls.count > 0; }, 12));
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const long peakMib = memoryMib("VmHWM:") - before;
        ::testing::Test::RecordProperty(std::string("seconds_to_fail_") + row.name, std::to_string(seconds));
        ::testing::Test::RecordProperty(std::string("peak_mib_") + row.name, std::to_string(peakMib));
        EXPECT_NE(calls.last->error.value_or("").find("larger than"), std::string::npos)
            << calls.last->error.value_or("");
        EXPECT_LT(seconds, 5.0);  // half the deadline
        if (peakReset) {
            EXPECT_LT(peakMib, row.maxPeakMib);
        }
    }
}

TEST(QtHttpClient, ServerThatNeverAnswersIsCutOffAndTheCompletionRunsOnce) {
    testing::LoopbackServer server;
    server.setHandler([](const testing::LoopbackRequest&) {
        testing::LoopbackResponse response;
        response.delaySeconds = 3;
        return response;
    });
    QtMainQueue main;
    QtHttpClient client(main);
    Calls calls;
    client.send({"GET", server.baseUrl() + "/slow", {}, "", 0.2}, calls.completion());
    ASSERT_TRUE(pumpUntil([&] { return calls.count > 0; }, 2.5));
    EXPECT_TRUE(calls.last->timedOut);
    EXPECT_TRUE(calls.last->error.has_value());
    pumpUntil([] { return false; }, 0.3);
    EXPECT_EQ(calls.count, 1);

    // Header lines without end: once cut off, the connection is closed, not read on.
    EndlessHeaders endless;
    Calls headers;
    client.send({"GET", endless.url(), {}, "", 0.2}, headers.completion());
    ASSERT_TRUE(pumpUntil([&] { return headers.count > 0; }, 2.5));
    EXPECT_TRUE(headers.last->timedOut);
    EXPECT_TRUE(pumpUntil([&] { return endless.ended(); }, 2.5));
}

TEST(QtHttpClient, AnswerOverTheSizeLimitIsCutOffAndReportedAsAnError) {
    testing::LoopbackServer server;
    server.setHandler([](const testing::LoopbackRequest&) {
        return testing::LoopbackResponse{200, std::string(4 << 20, 'x')};
    });
    QtMainQueue main;
    QtHttpClient client(main);
    Calls limited, unlimited, widest;
    HttpRequest request{"GET", server.baseUrl() + "/big", {}, "", 5};
    request.maxResponseBytes = 64 * 1024;
    client.send(request, limited.completion());
    request.maxResponseBytes = 0;
    client.send(request, unlimited.completion());
    request.maxResponseBytes = SIZE_MAX;
    client.send(request, widest.completion());
    ASSERT_TRUE(pumpUntil([&] { return limited.count > 0 && unlimited.count > 0 && widest.count > 0; }));
    EXPECT_TRUE(limited.last->error.has_value());
    EXPECT_TRUE(limited.last->body.empty());
    EXPECT_EQ(unlimited.last->body.size(), std::size_t{4 << 20});
    EXPECT_EQ(widest.last->body.size(), std::size_t{4 << 20});
}

// A model answer is read up to its cap; past it the request fails, so the caller
// falls back instead of holding (or parsing) whatever the server keeps sending.
TEST(QtHttpClient, AModelAnswerPastItsCapIsAFailedRequest) {
    log::setSinkForTesting([](std::string_view) {});
    const std::string answer =
        R"({"choices":[{"index":0,"finish_reason":"stop","message":{"role":"assistant","content":"{}"}}]})";
    struct Row {
        std::size_t padding;  // JSON whitespace after the answer: still a valid document
        bool unannounced;     // no Content-Length: only the reading itself can stop it
        bool answered;
    };
    const std::size_t cap = HttpLanguageModel::kMaxAnswerBytes;
    // Sent in one write, the 64 MiB without a length arrive faster than progress is
    // reported: only the cut within a chunk ends the request before the time-out.
    for (const Row row : {Row{cap - answer.size(), false, true}, Row{cap - answer.size() + 1, false, false},
                          Row{std::size_t{64} << 20, false, false}, Row{cap - answer.size(), true, true},
                          Row{std::size_t{64} << 20, true, false}}) {
        SCOPED_TRACE(::testing::Message() << row.padding << (row.unannounced ? " unannounced" : ""));
        testing::LoopbackServer server;
        server.setHandler([&](const testing::LoopbackRequest&) {
            testing::LoopbackResponse response{200, answer + std::string(row.padding, ' ')};
            response.unannounced = row.unannounced;
            return response;
        });
        QtMainQueue main;
        QtHttpClient client(main);
        HttpLanguageModel model(client, server.baseUrl());
        std::optional<LanguageModelResult> result;
        model.respond({"Be brief.", "Say hi.", "line", OrderedJson::object(), false},
                      [&](LanguageModelResult r) { result = std::move(r); });
        ASSERT_TRUE(pumpUntil([&] { return result.has_value(); }, 10));
        EXPECT_EQ(result->content.has_value(), row.answered) << result->errorDescription;
        if (!row.answered) {
            EXPECT_NE(result->errorDescription.find("larger than"), std::string::npos)
                << result->errorDescription;
        }
    }
    log::setSinkForTesting(nullptr);
}

TEST(QtHttpClient, UnreachableServerAndBadUrlReportErrors) {
    QtMainQueue main;
    QtHttpClient client(main);
    Calls refused;
    Calls invalid;
    Calls withPassword;
    // Port 1 on loopback: nothing listens there.
    client.send({"GET", "http://127.0.0.1:1/", {}, "", 2}, refused.completion());
    client.send({"GET", "not a url", {}, "", 2}, invalid.completion());
    // A raw "/" in the password makes "pa" the port of host "alice".
    client.send({"GET", "http://alice:pa/ss@127.0.0.1:1/", {}, "", 2}, withPassword.completion());
    ASSERT_TRUE(pumpUntil([&] { return refused.count > 0 && invalid.count > 0 && withPassword.count > 0; }));
    EXPECT_TRUE(refused.last->error.has_value());
    EXPECT_EQ(refused.last->status, 0);
    EXPECT_TRUE(invalid.last->error.has_value());
    EXPECT_EQ(withPassword.last->error.value_or("pa/ss").find("pa/ss"), std::string::npos)
        << *withPassword.last->error;
}

TEST(QtHttpClient, DestroyingTheClientCompletesWhatIsInFlight) {
    testing::LoopbackServer server;
    server.setHandler([](const testing::LoopbackRequest&) {
        testing::LoopbackResponse response;
        response.delaySeconds = 2;
        return response;
    });
    QtMainQueue main;
    Calls calls;
    {
        QtHttpClient client(main);
        client.send({"GET", server.baseUrl() + "/slow", {}, "", 10}, calls.completion());
        pumpUntil([&] { return server.requestCount() > 0; }, 2);
    }
    ASSERT_TRUE(pumpUntil([&] { return calls.count > 0; }, 2));
    EXPECT_EQ(calls.count, 1);
    EXPECT_TRUE(calls.last->error.has_value());
}

}  // namespace
}  // namespace tw
