// The tray item's menus, texts and popover placement, and menu-bar mode's hold on the strip.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Tumblewick/shell/configuration/configuration.h"
#include "Tumblewick/shell/menu_bar/menu_bar_menu.h"
#include "Tumblewick/shell/menu_bar/menu_bar_mode.h"
#include "Tumblewick/shell/menu_bar/menu_bar_status.h"
#include "agent/host/line_feed.h"
#include "platform/log.h"
#include "platform/settings_keys.h"
#include "platform/testing/in_memory_defaults.h"

namespace tw {
namespace {

// "-" for a separator, "Title  Shift+Super+T" with its hotkey, "> Title" for a submenu, "✓" when checked.
std::vector<std::string> describe(const std::vector<MenuBarItem>& items) {
    std::vector<std::string> lines;
    for (const MenuBarItem& item : items) {
        if (item.separator) {
            lines.push_back("-");
            continue;
        }
        std::string line = (item.submenu != MenuBarSubmenu::none ? "> " : "") + item.title;
        if (item.hotkey) line += "  " + hotkeyLabel(*item.hotkey);
        if (item.checked) line += " ✓";
        lines.push_back(line);
    }
    return lines;
}

const std::vector<MenuBarFlea> oneCustomFlea{{"2F1C0E4A-0000-4000-8000-00000000BEEF", "Mabel"}};

TEST(MenuBarMenu, ContextMenuListsItsItemsInOrderAndTheModeSwitchFollowsTheMode) {
    // Every key from the one hotkey table; Quit alone goes without Shift.
    const std::vector<std::string> expected{"Show Tumblewick",
                                            "-",
                                            "Recent thoughts…  Shift+Super+T",
                                            "Export today's chapter…  Shift+Super+D",
                                            "Save share card…  Shift+Super+S",
                                            "Watch the Troupe…  Shift+Super+F",
                                            "Drag-down log  Shift+Super+L",
                                            "Dialogue inspector…  Shift+Super+I",
                                            "Agent settings…  Shift+Super+,",
                                            "> Spotlight",
                                            "> Inner Life",
                                            "-",
                                            "Cross-device troupe…",
                                            "-",
                                            "Turn on Menu Bar Mode",
                                            "-",
                                            "Quit Tumblewick  Super+Q"};
    EXPECT_EQ(describe(menuBarContextMenuItems(false)), expected);
    EXPECT_EQ(menuBarContextMenuItems(true)[14].title, "Turn off Menu Bar Mode");

    const std::vector<MenuBarAction> actions{MenuBarAction::togglePopover,
                                             MenuBarAction::none,
                                             MenuBarAction::openRecentThoughts,
                                             MenuBarAction::exportChapter,
                                             MenuBarAction::saveShareCard,
                                             MenuBarAction::openWatchPanel,
                                             MenuBarAction::openDragDown,
                                             MenuBarAction::openDialogueInspector,
                                             MenuBarAction::openSettings,
                                             MenuBarAction::none,
                                             MenuBarAction::none,
                                             MenuBarAction::none,
                                             MenuBarAction::openTroupeSettings,
                                             MenuBarAction::none,
                                             MenuBarAction::toggleMenuBarMode,
                                             MenuBarAction::none,
                                             MenuBarAction::quit};
    const auto items = menuBarContextMenuItems(false);
    for (std::size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].action, actions[i]) << items[i].title;
}

TEST(MenuBarMenu, SuperQAndShiftSuperCommaChooseTheirItemsWhileABareQDoesNothing) {
    struct Case {
        KeyPress press;
        MenuBarAction chosen;  // none: the press chooses nothing
    };
    constexpr std::uint16_t q = 12, comma = 43, t = 17;
    const Case cases[] = {
        {{q, true, false}, MenuBarAction::quit},
        {{comma, true, true}, MenuBarAction::openSettings},
        {{q, false, false}, MenuBarAction::none},  // a bare q never quits
        {{q, false, true}, MenuBarAction::none},
        {{q, true, true}, MenuBarAction::none},  // Quit goes without Shift
        {{comma, true, false}, MenuBarAction::none},
        {{comma, false, false}, MenuBarAction::none},
        {{t, true, true}, MenuBarAction::none},  // the desktop's hotkey answers this one
        {{kMacKeyCodeCommand, true, false}, MenuBarAction::none},
    };
    for (const bool modeOn : {false, true}) {
        const auto items = menuBarContextMenuItems(modeOn);
        for (const Case& c : cases) {
            const auto chosen = menuBarItemForKey(items, c.press);
            EXPECT_EQ(chosen ? chosen->action : MenuBarAction::none, c.chosen)
                << c.press.keyCode << (c.press.command ? " Super" : "") << (c.press.shift ? " Shift" : "");
        }
    }
}

TEST(MenuBarMenu, SpotlightListsNoneTheRosterAndCustomFleasAndChecksTheAttendedOne) {
    const std::vector<std::string> roster{"Nova", "Pip", "Rex", "Zing", "Dot", "Fizz", "Blaze"};
    struct Case {
        std::optional<std::string> attended;
        std::vector<MenuBarFlea> custom;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        // No custom fleas: no trailing separator.
        {std::nullopt, {}, {"(none) ✓", "-", "Nova", "Pip", "Rex", "Zing", "Dot", "Fizz", "Blaze"}},
        {"Rex", {}, {"(none)", "-", "Nova", "Pip", "Rex ✓", "Zing", "Dot", "Fizz", "Blaze"}},
        // A custom flea is attended by its id, and a name alone never checks it.
        {oneCustomFlea[0].id,
         oneCustomFlea,
         {"(none)", "-", "Nova", "Pip", "Rex", "Zing", "Dot", "Fizz", "Blaze", "-", "Mabel (custom) ✓"}},
        {"Mabel",
         oneCustomFlea,
         {"(none)", "-", "Nova", "Pip", "Rex", "Zing", "Dot", "Fizz", "Blaze", "-", "Mabel (custom)"}},
    };
    for (const Case& c : cases) EXPECT_EQ(describe(spotlightSubmenuItems(c.attended, c.custom)), c.expected);

    // Choosing: a custom flea's id (not its name), nothing for "(none)", else the name.
    const auto items = spotlightSubmenuItems(std::nullopt, oneCustomFlea);
    EXPECT_EQ(spotlightChoice(items.back()), oneCustomFlea[0].id);
    EXPECT_EQ(spotlightChoice(items[0]), std::nullopt);
    EXPECT_EQ(spotlightChoice(items[4]), "Rex");
}

TEST(MenuBarMenu, InnerLifeOpensARosterFleaByNameAndACustomOneByIdAndName) {
    EXPECT_EQ(describe(innerLifeSubmenuItems(oneCustomFlea)),
              (std::vector<std::string>{"Nova", "Pip", "Rex", "Zing", "Dot", "Fizz", "Blaze", "-",
                                        "Mabel (custom)"}));
    const auto items = innerLifeSubmenuItems(oneCustomFlea);
    EXPECT_EQ(innerLifeChoice(items[1], oneCustomFlea), (InnerLifeChoice{"Pip", "Pip"}));
    EXPECT_EQ(innerLifeChoice(items.back(), oneCustomFlea), (InnerLifeChoice{oneCustomFlea[0].id, "Mabel"}));
    // The flea was deleted while the menu was open.
    EXPECT_EQ(innerLifeChoice(items.back(), {}), (InnerLifeChoice{oneCustomFlea[0].id, "Flea"}));
}

TEST(MenuBarStatus, TitleBadgeAndToolTipCarryTheLastMinutesDecisions) {
    struct Case {
        std::int64_t decisions;
        std::string title, badge, toolTip;
    };
    // The count comes from the capped feed: at its cap more may have been spoken.
    const auto cap = static_cast<std::int64_t>(agent_host::LineFeed::maxRecentLines);
    const std::string capped = std::to_string(cap);
    const std::string past = std::to_string(cap + 1);
    const Case cases[] = {
        {0, "", "", "Tumblewick — open the tiny circus"},
        {1, " 1", "1", "Tumblewick — open the tiny circus\n1 line spoken in the last minute"},
        {12, " 12", "12", "Tumblewick — open the tiny circus\n12 lines spoken in the last minute"},
        {cap, " " + capped, capped,
         "Tumblewick — open the tiny circus\n" + capped + " or more lines spoken in the last minute"},
        {cap + 1, " " + past, past,
         "Tumblewick — open the tiny circus\n" + past + " or more lines spoken in the last minute"},
        {150, " 150", "99+",
         "Tumblewick — open the tiny circus\n150 or more lines spoken in the last minute"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(menuBarActivityTitle(c.decisions), c.title);
        EXPECT_EQ(menuBarBadgeText(c.decisions), c.badge);
        EXPECT_EQ(menuBarToolTip(c.decisions), c.toolTip);
    }
}

TEST(MenuBarStatus, PopoverOpensUnderOrAboveTheIconAndStaysOnScreen) {
    const Rect screen{0, 0, 1920, 1080};
    struct Case {
        Rect icon;
        Point pointer;
        Point expected;
    };
    const Case cases[] = {
        {{900, 0, 24, 24}, {}, {722, 24}},        // top panel: below, centred
        {{900, 1056, 24, 24}, {}, {722, 906}},    // bottom panel: above
        {{1900, 1056, 20, 24}, {}, {1540, 906}},  // at the right edge: kept on screen
        {{0, 0, 0, 0}, {10, 5}, {0, 5}},          // the tray does not say where: at the pointer
    };
    for (const Case& c : cases) {
        const Point origin = menuBarPopoverOrigin(c.icon, c.pointer, screen);
        EXPECT_DOUBLE_EQ(origin.x, c.expected.x);
        EXPECT_DOUBLE_EQ(origin.y, c.expected.y);
    }
}

TEST(MenuBarMode, TheStripHidesOnlyWithATrayAndEachToggleFlipsItOnce) {
    struct Case {
        bool storedMode, tray;
        // After launch, after one toggle, after a second toggle.
        std::vector<std::string> strip;
        int noTrayLines;
    };
    const Case cases[] = {
        {false, true, {"shown", "hidden", "shown"}, 0},
        {true, true, {"hidden", "shown", "hidden"}, 0},
        // Without a tray the strip never hides, and the log says why once.
        {false, false, {"shown", "shown", "shown"}, 1},
        {true, false, {"shown", "shown", "shown"}, 1},
    };
    for (const Case& c : cases) {
        testing::InMemoryDefaults defaults;
        if (c.storedMode) defaults.setBool(settings::menuBarMode.key, true);
        NotificationCenter notifications;
        int posts = 0;
        notifications.addObserver(MENU_BAR_MODE_CHANGED_NOTIFICATION, [&](const Notification&) { ++posts; });
        std::vector<std::string> lines;
        log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });

        std::string strip = "shown";
        MenuBarModeStrip observer(defaults, notifications, [&] { return c.tray; },
                                  {.hide = [&] { strip = "hidden"; }, .front = [&] { strip = "shown"; }});
        observer.applyAtLaunch();
        std::vector<std::string> seen{strip};
        for (int toggle = 1; toggle <= 2; ++toggle) {
            const bool enabled = toggleMenuBarMode(defaults, notifications);
            EXPECT_EQ(enabled, toggle == 1 ? !c.storedMode : c.storedMode);
            EXPECT_EQ(resolvedMenuBarModeEnabled(defaults), enabled);
            EXPECT_EQ(posts, toggle);
            seen.push_back(strip);
        }
        log::setSinkForTesting(nullptr);
        EXPECT_EQ(seen, c.strip) << c.storedMode << c.tray;
        EXPECT_EQ(static_cast<int>(lines.size()), c.noTrayLines);
    }
}

TEST(MenuBarMode, TheStripFollowsATrayThatComesAndGoesAndEachChangeIsSaidOnce) {
    const std::string noTray =
        "ℹ️ Menu-bar mode is on, but this desktop has no system tray: the strip stays on screen.";
    const std::string arrived = "ℹ️ A system tray is here: menu-bar mode hides the strip.";
    const std::string left =
        "ℹ️ The system tray went away: the strip is back on screen until a tray returns.";
    enum class Event { trayArrives, trayLeaves, toggleMode };
    struct Step {
        Event event;
        const char* strip;
        std::vector<std::string> said;
    };
    struct Case {
        const char* name;
        bool mode, trayAtLaunch;
        const char* stripAtLaunch;
        std::vector<std::string> saidAtLaunch;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"a tray starts after the app, goes, and comes back",
         true,
         false,
         "shown",
         {noTray},
         {{Event::trayArrives, "hidden", {arrived}},
          {Event::trayLeaves, "shown", {left}},
          {Event::trayLeaves, "shown", {}},
          {Event::trayArrives, "hidden", {arrived}}}},
        {"with the mode off the tray moves nothing and says nothing",
         false,
         true,
         "shown",
         {},
         {{Event::trayLeaves, "shown", {}},
          {Event::toggleMode, "shown", {noTray}},
          {Event::trayArrives, "hidden", {arrived}},
          {Event::toggleMode, "shown", {}},
          {Event::trayLeaves, "shown", {}}}},
        {"a tray that went while the mode was off is said once it counts again",
         true,
         true,
         "hidden",
         {},
         {{Event::trayLeaves, "shown", {left}},
          {Event::toggleMode, "shown", {}},
          {Event::trayArrives, "shown", {}},
          {Event::toggleMode, "hidden", {arrived}}}},
    };
    for (const Case& c : cases) {
        testing::InMemoryDefaults defaults;
        defaults.setBool(settings::menuBarMode.key, c.mode);
        NotificationCenter notifications;
        std::vector<std::string> lines;
        log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
        bool tray = c.trayAtLaunch;
        std::string strip = "shown";
        MenuBarModeStrip observer(defaults, notifications, [&] { return tray; },
                                  {.hide = [&] { strip = "hidden"; }, .front = [&] { strip = "shown"; }});
        observer.applyAtLaunch();
        EXPECT_EQ(strip, c.stripAtLaunch) << c.name;
        EXPECT_EQ(lines, c.saidAtLaunch) << c.name;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            lines.clear();
            if (step.event == Event::toggleMode) {
                toggleMenuBarMode(defaults, notifications);
            } else {
                tray = step.event == Event::trayArrives;
                observer.trayChanged();
            }
            EXPECT_EQ(strip, step.strip) << c.name << ", step " << i;
            EXPECT_EQ(lines, step.said) << c.name << ", step " << i;
        }
        log::setSinkForTesting(nullptr);
    }
}

}  // namespace
}  // namespace tw
