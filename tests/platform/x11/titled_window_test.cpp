// What our titled windows' title bars offer: a close button always, maximise where the
// window resizes, minimise only where it may be minimised; its type stays its own.
#include "platform/x11/titled_window.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(TitledWindowTest, OffersMinimisingOnlyWhereTheWindowMayBeMinimised) {
    struct Case {
        const char* what;
        TitledWindow kind;
        Qt::WindowType type;
        bool maximise, minimise;
    };
    const Case cases[] = {
        {"the timeline", {.resizable = true}, Qt::Window, true, false},
        {"the troupe window", {.miniaturizable = true, .resizable = true}, Qt::Window, true, true},
        {"the dialogue inspector", {.utility = true, .resizable = true}, Qt::Tool, true, false},
        {"the agent settings", {.utility = true}, Qt::Tool, false, false},
    };
    for (const auto& c : cases) {
        const Qt::WindowFlags flags = titledWindowFlags(c.kind);
        EXPECT_EQ(flags & Qt::WindowType_Mask, c.type) << c.what;
        // Without the customise hint Qt offers every button on an ordinary window.
        EXPECT_TRUE(
            flags.testFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint))
            << c.what;
        EXPECT_EQ(flags.testFlag(Qt::WindowMaximizeButtonHint), c.maximise) << c.what;
        EXPECT_EQ(flags.testFlag(Qt::WindowMinimizeButtonHint), c.minimise) << c.what;
    }
}

}  // namespace
}  // namespace tw
