// What our titled windows' title bars offer: a close button always, maximise where the
// window resizes, minimise only where it may be minimised, whatever the manager reads.
#include "platform/x11/titled_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw {
namespace {

TEST(TitledWindowTest, OffersMinimisingOnlyWhereTheWindowMayBeMinimised) {
    struct Case {
        const char* what;
        TitledWindow kind;
        Qt::WindowType type;
        bool maximise, minimise;
        std::vector<std::string> types;
    };
    const Case cases[] = {
        {"the timeline",
         {.resizable = true},
         Qt::Window,
         true,
         false,
         {"_NET_WM_WINDOW_TYPE_TOOLBAR", "_NET_WM_WINDOW_TYPE_NORMAL"}},
        {"the troupe window",
         {.miniaturizable = true, .resizable = true},
         Qt::Window,
         true,
         true,
         {"_NET_WM_WINDOW_TYPE_NORMAL"}},
        {"the dialogue inspector",
         {.utility = true, .resizable = true},
         Qt::Tool,
         true,
         false,
         {"_NET_WM_WINDOW_TYPE_TOOLBAR", "_NET_WM_WINDOW_TYPE_UTILITY"}},
        {"the agent settings",
         {.utility = true},
         Qt::Tool,
         false,
         false,
         {"_NET_WM_WINDOW_TYPE_TOOLBAR", "_NET_WM_WINDOW_TYPE_UTILITY"}},
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
        const auto names = titledWindowTypes(c.kind);
        EXPECT_EQ(std::vector<std::string>(names.begin(), names.end()), c.types) << c.what;
    }
}

}  // namespace
}  // namespace tw
