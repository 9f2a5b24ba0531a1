// Packed answers as servers and proxies send them: each encoding the library has, whole and
// cut short, stacked or unknown, behind a redirect, and held to the cap after unpacking.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "platform/curl/curl_http_client.h"
#include "platform/testing/loopback_server.h"
#include "tests/platform/curl/http_test_support.h"

namespace tw {
namespace {

using testing::Calls;
using testing::LoopbackResponse;

// `body` as sent: with its length, without it (chunked), or cut at half its announced length
// with the connection dropped.
enum class Sent { whole, unannounced, cutShort };
LoopbackResponse packedAs(const std::string& encoding, std::string body, Sent sent = Sent::whole) {
    LoopbackResponse response{200, std::move(body), "application/octet-stream"};
    if (!encoding.empty()) response.headers.emplace("Content-Encoding", encoding);
    response.unannounced = sent == Sent::unannounced;
    response.cutShort = sent == Sent::cutShort;
    return response;
}

// Whole, an answer reads as it was before packing; cut short, it is a failure, never a
// shorter success. Stacked encodings unpack; one the library lacks is a failure.
TEST(CurlHttpClient, EachEncodingUnpacksWholeAndFailsCutShort) {
    struct Row {
        const char* name;
        LoopbackResponse response;
        std::optional<std::string> body;  // nothing: the request fails
        std::size_t cap = 1 << 20;
    };
    const std::string text = "a line of the feed " + std::string(64 * 1024, 'x') + " end";
    const std::string zlibWrapped = testing::deflated(text, 1, MAX_WBITS);
    const std::string raw = testing::deflated(text, 1, -MAX_WBITS);
    const std::string gzip = testing::gzipped(text);
    const std::string br = testing::brotlied(text);
    const std::string zstd = testing::zstded(text);
    LoopbackResponse twoLines = packedAs("gzip", testing::gzipped(gzip));
    twoLines.headers.emplace("Content-Encoding", "gzip");
    const std::size_t cap = 4096;
    const std::string atCap(cap, ' ');
    const std::string pastCap(cap + 1, ' ');
    const Row rows[] = {
        {"zstd", packedAs("zstd", zstd), text},
        {"zstd cut short", packedAs("zstd", zstd, Sent::cutShort), std::nullopt},
        {"br", packedAs("br", br), text},
        {"br cut short", packedAs("br", br, Sent::cutShort), std::nullopt},
        {"gzip", packedAs("gzip", gzip), text},
        {"gzip cut short", packedAs("gzip", gzip, Sent::cutShort), std::nullopt},
        {"x-gzip", packedAs("x-gzip", gzip), text},
        {"deflate, zlib-wrapped", packedAs("deflate", zlibWrapped), text},
        {"deflate, zlib-wrapped, cut short", packedAs("deflate", zlibWrapped, Sent::cutShort), std::nullopt},
        {"deflate, raw", packedAs("deflate", raw), text},
        {"deflate, raw, cut short", packedAs("deflate", raw, Sent::cutShort), std::nullopt},
        {"gzip, gzip", packedAs("gzip, gzip", testing::gzipped(gzip)), text},
        {"gzip on two lines", twoLines, text},
        {"compress", packedAs("compress", gzip), std::nullopt},
        {"an unknown encoding", packedAs("foo", gzip), std::nullopt},
        {"an empty gzip body", packedAs("gzip", ""), std::nullopt},
        {"plain at the cap", packedAs("", atCap), atCap, cap},
        {"plain a byte past the cap", packedAs("", pastCap), std::nullopt, cap},
        {"plain a byte past the cap, unannounced", packedAs("", pastCap, Sent::unannounced), std::nullopt,
         cap},
        {"gzip at the cap", packedAs("gzip", testing::gzipped(atCap)), atCap, cap},
        {"gzip a byte past the cap", packedAs("gzip", testing::gzipped(pastCap)), std::nullopt, cap},
    };
    testing::LoopbackServer server;
    testing::ManualMainQueue main;
    CurlHttpClient client(main);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server.setHandler([&](const testing::LoopbackRequest&) { return row.response; });
        Calls calls;
        client.send({"GET", server.baseUrl() + "/feed", {}, "", 5, row.cap}, calls.completion());
        ASSERT_TRUE(testing::pumpUntil(main, [&] { return calls.count > 0; }));
        EXPECT_EQ(calls.last->error.has_value(), !row.body) << calls.last->error.value_or("");
        EXPECT_TRUE(calls.last->body == row.body.value_or("")) << calls.last->body.size() << " bytes";
        if (row.cap == cap && !row.body) {
            EXPECT_NE(calls.last->error.value_or("").find("larger than"), std::string::npos);
        }
    }
}

// Each response of a redirect is unpacked by its own encoding, and a 307 POST keeps its body.
TEST(CurlHttpClient, EachResponseOfARedirectIsUnpackedByItsOwnEncoding) {
    struct Row {
        const char* method;
        int status;
        bool firstPacked;
        bool lastPacked;
    };
    const std::string answer = R"({"version": "1.5.0"})";
    for (const Row& row : {Row{"GET", 302, false, true}, Row{"GET", 302, true, false},
                           Row{"POST", 307, false, true}, Row{"POST", 307, true, false}}) {
        SCOPED_TRACE(::testing::Message()
                     << row.method << " " << row.status << (row.firstPacked ? " gzip" : ""));
        testing::LoopbackServer server;
        testing::LoopbackRequest seen;
        server.setHandler([&](const testing::LoopbackRequest& request) {
            if (request.path == "/from") {
                const std::string moved = "moved to /to";
                LoopbackResponse response = packedAs(row.firstPacked ? "gzip" : "",
                                                     row.firstPacked ? testing::gzipped(moved) : moved);
                response.status = row.status;
                response.headers.emplace("Location", "/to");
                return response;
            }
            seen = request;
            return packedAs(row.lastPacked ? "gzip" : "", row.lastPacked ? testing::gzipped(answer) : answer);
        });
        testing::ManualMainQueue main;
        CurlHttpClient client(main);
        Calls calls;
        client.send({row.method, server.baseUrl() + "/from", {}, "the body", 5, 1 << 20}, calls.completion());
        ASSERT_TRUE(testing::pumpUntil(main, [&] { return calls.count > 0; }));
        EXPECT_TRUE(calls.last->ok()) << calls.last->error.value_or("");
        EXPECT_EQ(calls.last->body, answer);
        EXPECT_EQ(seen.path, "/to");
        EXPECT_EQ(seen.method, row.method);
        EXPECT_EQ(seen.body, row.method == std::string("POST") ? "the body" : "");
    }
}

// A body that unpacks to nothing, sent without end, is given up at its deadline (or sooner)
// with memory flat: empty gzip members, and zstd frames that are skipped.
TEST(CurlHttpClient, ABodyThatUnpacksToNothingEndsAtItsDeadlineWithMemoryFlat) {
    std::string emptyMembers;
    for (int i = 0; i < 1000; ++i) emptyMembers += testing::gzipped("");
    const std::string skippedFrame =
        std::string("\x50\x2a\x4d\x18\x00\x10\x00\x00", 8) + std::string(4096, 'z');
    for (const auto& [encoding, piece] : {std::pair{"gzip", emptyMembers}, std::pair{"zstd", skippedFrame}}) {
        SCOPED_TRACE(encoding);
        testing::RawServer server(encoding, piece);
        testing::ManualMainQueue main;
        CurlHttpClient client(main);
        Calls calls;
        const bool peakReset = testing::resetPeakMemory();
        const long before = testing::memoryMib("VmRSS:");
        client.send({"GET", server.url("/endless"), {}, "", 1, 64 * 1024}, calls.completion());
        ASSERT_TRUE(testing::pumpUntil(
            main, [&] { return calls.count > 0; }, 10));
        EXPECT_TRUE(calls.last->error.has_value());
        EXPECT_TRUE(calls.last->body.empty());
        if (peakReset) {
            EXPECT_LT(testing::memoryMib("VmHWM:") - before, 64);
        }
    }
}

}  // namespace
}  // namespace tw
