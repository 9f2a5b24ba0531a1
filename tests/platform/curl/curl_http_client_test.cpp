#include "platform/curl/curl_http_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/http_language_model.h"
#include "platform/json.h"
#include "platform/log.h"
#include "platform/testing/loopback_server.h"
#include "platform/testing/test_authority.h"
#include "tests/platform/curl/http_test_support.h"

namespace tw {
namespace {

using testing::Calls;
using testing::gzipped;
using testing::memoryMib;
using testing::resetPeakMemory;

// Every request is answered only after `seconds`.
void answerAfter(testing::LoopbackServer& server, double seconds) {
    server.setHandler([seconds](const testing::LoopbackRequest&) {
        testing::LoopbackResponse response;
        response.delaySeconds = seconds;
        return response;
    });
}

TEST(CurlHttpClient, PostsHeadersAndBodyAndReadsTheAnswer) {
    testing::LoopbackServer server;
    testing::LoopbackRequest seen;
    server.setHandler([&](const testing::LoopbackRequest& request) {
        seen = request;
        return testing::LoopbackResponse{201, R"({"ok":true})"};
    });
    testing::ManualMainQueue main;
    CurlHttpClient client(main);
    Calls calls;
    HttpRequest request;
    request.method = "POST";
    request.url = server.baseUrl() + "/events";
    request.headers["Content-Type"] = "application/json";
    request.headers["Authorization"] = "Bearer abc";
    request.body = R"({"n":1})";
    client.send(request, calls.completion());
    ASSERT_TRUE(pumpUntil(main, [&] { return calls.count > 0; }));
    EXPECT_EQ(calls.count, 1);
    EXPECT_EQ(calls.last->status, 201);
    EXPECT_TRUE(calls.last->ok());
    EXPECT_EQ(calls.last->body, R"({"ok":true})");
    EXPECT_EQ(seen.method, "POST");
    EXPECT_EQ(seen.path, "/events");
    EXPECT_EQ(seen.body, R"({"n":1})");
    EXPECT_EQ(seen.header("Authorization"), "Bearer abc");

    // A header sent after the body is no header of the answer.
    testing::RawServer raw;
    Calls trailed;
    client.send({"GET", raw.url("/trailer"), {}, "", 5}, trailed.completion());
    ASSERT_TRUE(pumpUntil(main, [&] { return trailed.count > 0; }));
    EXPECT_EQ(trailed.last->body, "ok");
    EXPECT_EQ(trailed.last->headers.count("x-served"), 1u);
    EXPECT_EQ(trailed.last->headers.count("x-checksum"), 0u);
}

// https is read only from a server the client trusts, and a redirect never takes it down
// to http: the plain server never sees the request, nor its key.
TEST(CurlHttpClient, HttpsIsReadFromTrustedServersAndNeverRedirectedToHttp) {
    struct Row {
        const char* name;
        const char* location;  // "" for none, "plain" for the http server
        const char* error;     // in the failure's text; nothing: the answer is read
        bool selfSigned = false;
        bool trusted = true;  // the client is given the test authority
    };
    const testing::TestAuthority authority;
    testing::LoopbackServer plain;
    testing::ManualMainQueue main;
    for (const Row& row : {Row{"read", "", nullptr}, Row{"redirected to https", "/to", nullptr},
                           Row{"redirected to http", "plain", "from https to http"},
                           Row{"self-signed", "", "certificate problem", true},
                           Row{"untrusted authority", "", "certificate problem", false, false}}) {
        SCOPED_TRACE(row.name);
        testing::LoopbackServer server(row.selfSigned ? testing::TestAuthority::selfSigned()
                                                      : authority.issue());
        server.setHandler([&](const testing::LoopbackRequest& request) {
            if (request.path == "/to" || *row.location == '\0')
                return testing::LoopbackResponse{200, "answer"};
            testing::LoopbackResponse moved{302, ""};
            moved.headers.emplace("Location", *row.location == '/' ? row.location : plain.baseUrl() + "/to");
            return moved;
        });
        CurlHttpClient client(main, {.caFile = row.trusted ? authority.caFile() : "", .makeMulti = {}});
        Calls calls;
        client.send({"GET", server.baseUrl() + "/from", {{"Authorization", "Bearer key"}}, "", 5},
                    calls.completion());
        ASSERT_TRUE(pumpUntil(main, [&] { return calls.count > 0; }));
        if (row.error) {
            EXPECT_NE(calls.last->error.value_or("").find(row.error), std::string::npos)
                << calls.last->error.value_or("");
        } else {
            EXPECT_TRUE(calls.last->ok()) << calls.last->error.value_or("");
            EXPECT_EQ(calls.last->body, "answer");
        }
    }
    EXPECT_EQ(plain.requestCount(), 0);
}

// Once the status line is in, what goes wrong with the body is still a failed request;
// an error status with its body is an answer, not a transport failure.
TEST(CurlHttpClient, ABodyThatFailsAfterTheStatusIsAnErrorAndAnErrorStatusAnAnswer) {
    struct Row {
        const char* name;
        testing::LoopbackResponse response;
        bool failed;
    };
    testing::LoopbackResponse cut{200, std::string(256 * 1024, 'x'), "application/octet-stream"};
    cut.cutShort = true;
    testing::LoopbackResponse badGzip{200, std::string(64 * 1024, 'x'), "application/octet-stream"};
    badGzip.headers = {{"Content-Encoding", "gzip"}};
    // Packed, cut at half its announced length.
    const std::string packed = gzipped(std::string(256 * 1024, 'x') + "end");
    testing::LoopbackResponse cutGzip{200, packed, "application/octet-stream"};
    cutGzip.headers = badGzip.headers;
    cutGzip.cutShort = true;
    testing::LoopbackResponse gzip404{404, gzipped("no such flea"), "application/octet-stream"};
    gzip404.headers = badGzip.headers;
    for (const Row& row : {Row{"reset mid-body", cut, true}, Row{"bad gzip", badGzip, true},
                           Row{"gzip cut short", cutGzip, true},
                           Row{"404 with a body", {404, "no such flea", "text/plain"}, false},
                           Row{"404 with a gzip body", gzip404, false},
                           Row{"503 with a body", {503, "no such flea"}, false}}) {
        SCOPED_TRACE(row.name);
        testing::LoopbackServer server;
        server.setHandler([&](const testing::LoopbackRequest&) { return row.response; });
        testing::ManualMainQueue main;
        CurlHttpClient client(main);
        Calls calls;
        // Capped as the feed is: such a request unpacks its answer itself.
        client.send({"GET", server.baseUrl() + "/x", {}, "", 5, 1 << 20}, calls.completion());
        ASSERT_TRUE(pumpUntil(main, [&] { return calls.count > 0; }));
        EXPECT_EQ(calls.last->error.has_value(), row.failed) << calls.last->body.size() << " bytes";
        EXPECT_TRUE(calls.last->body == (row.failed ? "" : "no such flea")) << calls.last->body.size();
        EXPECT_EQ(calls.last->status, row.response.status);
        EXPECT_FALSE(calls.last->ok());
    }
}

// Written a chunk at a time and without end, an answer is cut as soon as it passes its
// cap, not at its deadline ("larger than", never "timed out"): plain, and as JSON, which
// the server packs with gzip. A small gzip body that unpacks to 256 MiB is cut at its
// cap as well, never held whole.
TEST(CurlHttpClient, AnEndlessAnswerFailsSoonAfterItPassesItsCap) {
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
        testing::ManualMainQueue main;
        CurlHttpClient client(main);
        Calls calls;
        HttpRequest request{"GET", server.baseUrl() + "/feed", {}, "", 20};
        request.maxResponseBytes = row.cap;
        const bool peakReset = resetPeakMemory();
        const long before = memoryMib("VmRSS:");
        const auto start = std::chrono::steady_clock::now();
        client.send(request, calls.completion());
        ASSERT_TRUE(pumpUntil(
            main, [&] { return calls.count > 0; }, 25));
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const long peakMib = memoryMib("VmHWM:") - before;
        ::testing::Test::RecordProperty(std::string("seconds_to_fail_") + row.name, std::to_string(seconds));
        ::testing::Test::RecordProperty(std::string("peak_mib_") + row.name, std::to_string(peakMib));
        EXPECT_NE(calls.last->error.value_or("").find("larger than"), std::string::npos)
            << calls.last->error.value_or("");
        EXPECT_LT(seconds, 10.0);  // half the deadline
        if (peakReset) {
            EXPECT_LT(peakMib, row.maxPeakMib);
        }
    }
}

TEST(CurlHttpClient, ServerThatNeverAnswersIsCutOffAndTheCompletionRunsOnce) {
    testing::LoopbackServer server;
    answerAfter(server, 3);
    testing::ManualMainQueue main;
    CurlHttpClient client(main);
    Calls calls;
    client.send({"GET", server.baseUrl() + "/slow", {}, "", 0.2}, calls.completion());
    ASSERT_TRUE(pumpUntil(
        main, [&] { return calls.count > 0; }, 2.5));
    EXPECT_TRUE(calls.last->timedOut);
    EXPECT_TRUE(calls.last->error.has_value());
    pumpUntil(
        main, [] { return false; }, 0.3);
    EXPECT_EQ(calls.count, 1);

    // Header lines without end fail, and their connection is closed, not read on. Another
    // answer streaming from the same port meanwhile arrives whole.
    testing::RawServer raw;
    Calls flood, valid;
    client.send({"GET", raw.url("/valid"), {}, "", 10}, valid.completion());
    client.send({"GET", raw.url("/flood"), {}, "", 0.2}, flood.completion());
    ASSERT_TRUE(pumpUntil(
        main, [&] { return flood.count > 0 && valid.count > 0; }, 8));
    EXPECT_TRUE(flood.last->error.has_value());
    EXPECT_EQ(raw.floodsEnded(), 1);
    EXPECT_TRUE(valid.last->ok()) << valid.last->error.value_or("");
    EXPECT_TRUE(valid.last->body == std::string(testing::RawServer::kAnswerBytes, 'v'))
        << valid.last->body.size();
}

TEST(CurlHttpClient, AnswerOverTheSizeLimitIsCutOffAndReportedAsAnError) {
    testing::LoopbackServer server;
    server.setHandler([](const testing::LoopbackRequest&) {
        return testing::LoopbackResponse{200, std::string(4 << 20, 'x')};
    });
    testing::ManualMainQueue main;
    CurlHttpClient client(main);
    Calls limited, unlimited, widest;
    HttpRequest request{"GET", server.baseUrl() + "/big", {}, "", 5};
    request.maxResponseBytes = 64 * 1024;
    client.send(request, limited.completion());
    request.maxResponseBytes = 0;
    client.send(request, unlimited.completion());
    request.maxResponseBytes = SIZE_MAX;
    client.send(request, widest.completion());
    ASSERT_TRUE(
        pumpUntil(main, [&] { return limited.count > 0 && unlimited.count > 0 && widest.count > 0; }));
    EXPECT_TRUE(limited.last->error.has_value());
    EXPECT_TRUE(limited.last->body.empty());
    EXPECT_EQ(unlimited.last->body.size(), std::size_t{4 << 20});
    EXPECT_EQ(widest.last->body.size(), std::size_t{4 << 20});
}

// A model answer is read up to its cap; past it the request fails, so the caller
// falls back instead of holding (or parsing) whatever the server keeps sending.
TEST(CurlHttpClient, AModelAnswerPastItsCapIsAFailedRequest) {
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
        testing::ManualMainQueue main;
        CurlHttpClient client(main);
        HttpLanguageModel model(client, server.baseUrl());
        std::optional<LanguageModelResult> result;
        model.respond({"Be brief.", "Say hi.", "line", OrderedJson::object(), false},
                      [&](LanguageModelResult r) { result = std::move(r); });
        ASSERT_TRUE(pumpUntil(
            main, [&] { return result.has_value(); }, 10));
        EXPECT_EQ(result->content.has_value(), row.answered) << result->errorDescription;
        if (!row.answered) {
            EXPECT_NE(result->errorDescription.find("larger than"), std::string::npos)
                << result->errorDescription;
        }
    }
    log::setSinkForTesting(nullptr);
}

TEST(CurlHttpClient, UnreachableServerAndBadUrlReportErrors) {
    testing::ManualMainQueue main;
    CurlHttpClient client(main);
    Calls refused;
    Calls invalid;
    Calls withPassword;
    Calls ftp;
    // Port 1 on loopback: nothing listens there.
    client.send({"GET", "http://127.0.0.1:1/", {}, "", 2}, refused.completion());
    client.send({"GET", "not a url", {}, "", 2}, invalid.completion());
    // A raw "/" in the password makes "pa" the port of host "alice".
    client.send({"GET", "http://alice:pa/ss@127.0.0.1:1/", {}, "", 2}, withPassword.completion());
    client.send({"GET", "ftp://127.0.0.1:1/", {}, "", 2}, ftp.completion());
    ASSERT_TRUE(pumpUntil(main, [&] {
        return refused.count > 0 && invalid.count > 0 && withPassword.count > 0 && ftp.count > 0;
    }));
    EXPECT_TRUE(refused.last->error.has_value());
    EXPECT_EQ(refused.last->status, 0);
    EXPECT_TRUE(invalid.last->error.has_value());
    EXPECT_EQ(withPassword.last->error.value_or("pa/ss").find("pa/ss"), std::string::npos)
        << *withPassword.last->error;
    EXPECT_NE(ftp.last->error.value_or("").find("only http and https"), std::string::npos)
        << ftp.last->error.value_or("");
}

// At rest the worker sleeps until a request comes. Without its transfer engine a client
// fails each request at once, having said why once, and runs no worker at all.
TEST(CurlHttpClient, AtRestTheWorkerSleepsAndWithoutAnEngineEachRequestFails) {
    testing::LoopbackServer server;
    testing::ManualMainQueue main;
    {
        CurlHttpClient client(main);
        Calls calls;
        client.send({"GET", server.baseUrl() + "/x", {}, "", 5}, calls.completion());
        ASSERT_TRUE(pumpUntil(main, [&] { return calls.count > 0; }));
        const std::uint64_t woken = client.wakeUpsForTesting();
        EXPECT_FALSE(pumpUntil(
            main, [&] { return client.wakeUpsForTesting() != woken; }, 1.5));
    }
    std::vector<std::string> lines;
    log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
    CurlHttpClient client(main, {"", [] { return static_cast<void*>(nullptr); }});
    Calls first, second;
    client.send({"GET", server.baseUrl() + "/x", {}, "", 5}, first.completion());
    client.send({"GET", server.baseUrl() + "/x", {}, "", 5}, second.completion());
    main.runPending();
    log::setSinkForTesting(nullptr);
    ASSERT_EQ(second.count, 1);
    EXPECT_NE(first.last->error.value_or("").find("HTTP is off"), std::string::npos);
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_EQ(client.wakeUpsForTesting(), 0u);
}

// A quit never waits on the network: what is in flight is dropped at once, its
// completions never run.
TEST(CurlHttpClient, DestroyingTheClientDropsWhatIsInFlightAtOnce) {
    testing::LoopbackServer server;
    answerAfter(server, 30);
    testing::ManualMainQueue main;
    Calls calls;
    std::chrono::steady_clock::time_point quit;
    {
        CurlHttpClient client(main);
        for (int i = 0; i < 50; ++i)
            client.send({"GET", server.baseUrl() + "/slow", {}, "", 20}, calls.completion());
        pumpUntil(
            main, [&] { return server.requestCount() > 0; }, 2);
        quit = std::chrono::steady_clock::now();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - quit).count();
    ::testing::Test::RecordProperty("quit_seconds", std::to_string(seconds));
    EXPECT_LT(seconds, 1.0);
    EXPECT_EQ(main.runPending(), 0);
    EXPECT_EQ(calls.count, 0);
}

}  // namespace
}  // namespace tw
