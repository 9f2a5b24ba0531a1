#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/log.h"
#include "platform/notification_center.h"

namespace tw {
namespace {

class LogTest : public ::testing::Test {
   protected:
    void SetUp() override {
        log::setSinkForTesting([this](std::string_view line) { lines.emplace_back(line); });
    }
    void TearDown() override { log::setSinkForTesting(nullptr); }

    std::vector<std::string> lines;
};

TEST_F(LogTest, EveryKindIsCapturedWithItsMarker) {
    log::info("Diagnostics exported: /tmp/x");
    log::warning("Chapter export failed");
    log::plain("\U0001F4DC Exported chapter to /tmp/y");
    log::system("Failed to append event");
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "\u2139\uFE0F Diagnostics exported: /tmp/x",
                         "\u26A0\uFE0F Chapter export failed",
                         "\U0001F4DC Exported chapter to /tmp/y",
                         "[Troupe] Failed to append event",
                     }));
}

TEST_F(LogTest, LinesFromManyThreadsStayWhole) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                log::info("thread " + std::to_string(t) + " line " + std::to_string(i));
        });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(lines.size(), 1600u);
    for (const auto& line : lines) EXPECT_EQ(line.rfind("\u2139\uFE0F thread ", 0), 0u) << line;
}

TEST(LogPrintTest, WithoutASinkLinesGoToStandardOutputAndTheTroupesAlsoToStandardError) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    log::warning("Failed to create diagnostics directory: denied");
    log::system("Cannot write the troupe log");
    log::plain("done");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "[Troupe] Cannot write the troupe log\n");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "\u26A0\uFE0F Failed to create diagnostics directory: denied\ndone\n");
}

// Started with stdout closed: the next file opened would take its number and receive
// every log line. Run in a child, whose standard streams may be closed.
TEST(LogPrintTest, AClosedStandardOutputDoesNotHandItsNumberToAFile) {
    const std::filesystem::path file = std::filesystem::path(::testing::TempDir()) / "tw-log-fd-test";
    EXPECT_EXIT(
        {
            log::setSinkForTesting(nullptr);
            ::close(STDOUT_FILENO);
            log::keepStandardStreamsOpen();
            const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            log::info("not for the file");
            std::_Exit(fd != STDOUT_FILENO && ::lseek(fd, 0, SEEK_END) == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    std::filesystem::remove(file);
}

TEST(NotificationCenterTest, DeliversByNameInRegistrationOrderWithUserInfo) {
    NotificationCenter center;
    std::vector<std::string> calls;
    center.addObserver("moved", [&](const Notification& n) {
        calls.push_back("first " + std::any_cast<std::string>(n.userInfo.at("who")));
    });
    center.addObserver("other", [&](const Notification&) { calls.push_back("other"); });
    center.addObserver("moved", [&](const Notification& n) { calls.push_back("second " + n.name); });

    center.post("moved", {{"who", std::string("Pip")}});
    EXPECT_EQ(calls, (std::vector<std::string>{"first Pip", "second moved"}));
    center.post("nobody listens");
    EXPECT_EQ(calls.size(), 2u);
}

TEST(NotificationCenterTest, ObserversMayChangeRegistrationsDuringAPost) {
    NotificationCenter center;
    std::vector<std::string> calls;
    NotificationCenter::Token second = 0;
    NotificationCenter::Token self = 0;
    self = center.addObserver("tick", [&](const Notification&) {
        calls.push_back("first");
        center.removeObserver(second);  // later observer: not called in this post
        center.removeObserver(self);    // removing oneself mid-call is safe
        center.addObserver("tick", [&](const Notification&) { calls.push_back("added"); });
    });
    second = center.addObserver("tick", [&](const Notification&) { calls.push_back("second"); });
    center.addObserver("tick", [&](const Notification&) { calls.push_back("third"); });

    center.post("tick");
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "third"}));
    calls.clear();
    center.post("tick");
    EXPECT_EQ(calls, (std::vector<std::string>{"third", "added"}));
}

TEST(NotificationCenterTest, RemovedObserversStaySilent) {
    NotificationCenter center;
    int count = 0;
    const auto token = center.addObserver("x", [&](const Notification&) { ++count; });
    center.post("x");
    center.removeObserver(token);
    center.removeObserver(token);  // twice is harmless
    center.removeObserver(12345);
    center.post("x");
    EXPECT_EQ(count, 1);
}

}  // namespace
}  // namespace tw
