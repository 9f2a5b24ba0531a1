#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "windows/toast/tumblewick_signature_toast.h"

namespace tw {
namespace {

class RecordingToastWindow final : public SignatureToastWindow {
   public:
    bool hasScreen = true;
    int builds = 0;
    std::vector<std::pair<std::string, std::string>> texts;
    std::vector<double> alphas;
    int frontOrders = 0;
    int outOrders = 0;

    bool ensureBuilt() override {
        if (hasScreen) ++builds;
        return hasScreen;
    }
    void setTexts(const std::string& name, const std::string& line) override {
        texts.emplace_back(name, line);
    }
    void setAlpha(double alpha) override { alphas.push_back(alpha); }
    void orderFront() override { ++frontOrders; }
    void orderOut() override { ++outOrders; }
};

struct ToastFixture {
    testing::ManualClock clock{Date{800000000.0}};
    testing::ManualMainQueue queue;
    RecordingToastWindow window;
    std::optional<bool> chimeSetting;  // absent reads as on, as the settings do
    int chimes = 0;
    TumblewickSignatureToast toast{
        {&clock, &queue, &window, [this] { return chimeSetting.value_or(true); }, [this] { ++chimes; }}};
};

TEST(SignatureToastTest, AtMostOneToastEveryThirtySeconds) {
    ToastFixture f;
    struct Call {
        double at;  // seconds after the start
        const char* flea;
        bool shown;
        const char* lastFlea;
    };
    const Call calls[] = {
        {0.0, "Pip", true, "Pip"},     // the first call is always accepted
        {29.9, "Zing", false, "Pip"},  // nothing changes, not even the remembered moment
        {30.0, "Nova", true, "Nova"},  // exactly 30 s is enough
        {45.0, "Rex", false, "Nova"}, {90.0, "Dot", true, "Dot"},
    };
    const Date start = f.clock.now();
    std::size_t shown = 0;
    for (const Call& call : calls) {
        f.clock.set(start.adding(call.at));
        f.toast.surface(call.flea, "perform_signature", std::string(call.flea) + " line");
        shown += call.shown ? 1 : 0;
        EXPECT_EQ(f.window.texts.size(), shown) << call.at;
        EXPECT_EQ(f.toast.lastFlea(), call.lastFlea) << call.at;
        EXPECT_EQ(f.toast.lastLine(), std::string(call.lastFlea) + " line") << call.at;
        f.queue.advance(10);  // let each shown toast run its course
    }
    EXPECT_EQ(f.window.builds, 3);
    EXPECT_EQ(f.window.outOrders, 3);
}

TEST(SignatureToastTest, FadesInShowsForFiveSecondsAndFadesOutInVirtualTime) {
    ToastFixture f;
    f.toast.surface("Pip", "perform_signature", "Ta-da!");
    ASSERT_EQ(f.window.alphas, std::vector<double>{0.0});
    EXPECT_EQ(f.window.frontOrders, 1);

    const auto alphaAfter = [&](double seconds) {
        f.queue.advance(seconds);
        return f.window.alphas.back();
    };
    EXPECT_NEAR(alphaAfter(0.125), 0.5, 0.05);  // halfway through the 0.25 s fade-in
    EXPECT_EQ(alphaAfter(0.125 + 1e-6), 1.0);
    EXPECT_EQ(f.queue.scheduledCount(), 1u);  // only the hide is left
    const std::size_t framesWhileShown = f.window.alphas.size();
    EXPECT_EQ(alphaAfter(4.7), 1.0);
    EXPECT_EQ(f.window.alphas.size(), framesWhileShown);  // no work while it simply shows
    EXPECT_EQ(f.window.outOrders, 0);
    EXPECT_NEAR(alphaAfter(0.05 + 0.225), 0.5, 0.05);  // halfway through the 0.45 s fade-out
    EXPECT_EQ(f.window.outOrders, 0);
    EXPECT_EQ(alphaAfter(0.225 + 1e-6), 0.0);
    EXPECT_EQ(f.window.outOrders, 1);
    EXPECT_EQ(f.queue.scheduledCount(), 0u);
    for (std::size_t i = 1; i < framesWhileShown; ++i) EXPECT_GE(f.window.alphas[i], f.window.alphas[i - 1]);
}

TEST(SignatureToastTest, ChimesOnlyForSignatureMovesWhileTheSettingIsOn) {
    struct Case {
        std::optional<bool> setting;
        const char* action;
        int chimes;
    };
    const Case cases[] = {
        {std::nullopt, "perform_signature", 1}, {true, "perform_signature", 1},
        {false, "perform_signature", 0},        {true, "attempt_bit", 0},
        {std::nullopt, "applaud", 0},
    };
    for (const Case& c : cases) {
        ToastFixture f;
        f.chimeSetting = c.setting;
        f.toast.surface("Pip", c.action, "line");
        EXPECT_EQ(f.chimes, c.chimes) << c.action << " " << c.setting.value_or(-1);
    }
}

TEST(SignatureToastTest, WithoutAScreenTheMomentIsRememberedAndTheNextToastBuildsTheWindow) {
    ToastFixture f;
    f.window.hasScreen = false;
    f.toast.surface("Rex", "perform_signature", "Boom.");
    EXPECT_TRUE(f.window.texts.empty());
    EXPECT_EQ(f.chimes, 0);
    EXPECT_EQ(f.toast.lastFlea(), "Rex");
    EXPECT_EQ(f.toast.lastShownAt(), f.clock.now());

    f.window.hasScreen = true;
    f.clock.advance(20);
    f.toast.surface("Pip", "perform_signature", "Too soon.");
    EXPECT_TRUE(f.window.texts.empty());
    f.clock.advance(10);
    f.toast.surface("Pip", "perform_signature", "Now.");
    EXPECT_EQ(f.window.builds, 1);
    EXPECT_EQ(f.window.texts,
              (std::vector<std::pair<std::string, std::string>>{{"PIP \u00B7 SIGNATURE MOVE", "Now."}}));
}

TEST(SignatureToastTest, NameLabelIsTheFleaAndTheMomentUpperCased) {
    const std::pair<std::pair<const char*, const char*>, const char*> cases[] = {
        {{"Zing", "perform_signature"}, "ZING \u00B7 SIGNATURE MOVE"},
        {{"Pip", "attempt_bit"}, "PIP \u00B7 BRAVE ATTEMPT"},
        {{"Pip", "initiate_duet"}, "PIP \u00B7 STARTED A DUET"},
        {{"Pip", "pre_action_ritual"}, "PIP \u00B7 RITUAL"},
        {{"Pip", "applaud"}, "PIP \u00B7 APPLAUD"},
        {{"0f8fad5b-d9cb-469f-a165-70867728950e", "perform_signature"},
         "0F8FAD5B-D9CB-469F-A165-70867728950E \u00B7 SIGNATURE MOVE"},
        {{"\u00E9mile", "sit"}, "\u00C9MILE \u00B7 SIT"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(TumblewickSignatureToast::nameText(input.first, input.second), expected);
    }
}

}  // namespace
}  // namespace tw
