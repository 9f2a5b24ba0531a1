#include "Tumblewick/shell/menu_bar/menu_bar_menu.h"

#include "agent/resident_roster.h"

namespace tw {
namespace {

constexpr const char* noSpotlightTitle = "(none)";
constexpr const char* customSuffix = " (custom)";

MenuBarItem separator() { return MenuBarItem{.separator = true}; }

MenuBarItem item(std::string title, MenuBarAction action, std::optional<Hotkey> hotkey = {}) {
    return MenuBarItem{.title = std::move(title), .action = action, .hotkey = hotkey};
}

void appendCustomFleas(std::vector<MenuBarItem>& items, const std::vector<MenuBarFlea>& fleas,
                       MenuBarAction action, const std::optional<std::string>& checkedId) {
    if (fleas.empty()) return;
    items.push_back(separator());
    for (const MenuBarFlea& flea : fleas) {
        MenuBarItem entry = item(flea.name + customSuffix, action);
        entry.fleaId = flea.id;
        entry.checked = checkedId && *checkedId == flea.id;
        items.push_back(std::move(entry));
    }
}

}  // namespace

std::vector<MenuBarItem> menuBarContextMenuItems(bool menuBarModeOn) {
    MenuBarItem spotlight = item("Spotlight", MenuBarAction::none);
    spotlight.submenu = MenuBarSubmenu::spotlight;
    MenuBarItem innerLife = item("Inner Life", MenuBarAction::none);
    innerLife.submenu = MenuBarSubmenu::innerLife;
    return {
        item("Show Tumblewick", MenuBarAction::togglePopover),
        separator(),
        item("Recent thoughts…", MenuBarAction::openRecentThoughts, Hotkey::recentThoughts),
        item("Export today's chapter…", MenuBarAction::exportChapter, Hotkey::chapter),
        item("Save share card…", MenuBarAction::saveShareCard, Hotkey::shareCard),
        item("Watch the Troupe…", MenuBarAction::openWatchPanel, Hotkey::watchPanel),
        item("Drag-down log", MenuBarAction::openDragDown, Hotkey::dragDownLog),
        item("Dialogue inspector…", MenuBarAction::openDialogueInspector, Hotkey::dialogueInspector),
        item("Agent settings…", MenuBarAction::openSettings, Hotkey::agentSettings),
        spotlight,
        innerLife,
        separator(),
        item("Cross-device troupe…", MenuBarAction::openTroupeSettings),
        separator(),
        item(menuBarModeTitle(menuBarModeOn), MenuBarAction::toggleMenuBarMode),
        separator(),
        item("Quit Tumblewick", MenuBarAction::quit, Hotkey::quit),
    };
}

std::optional<MenuBarItem> menuBarItemForKey(const std::vector<MenuBarItem>& items, const KeyPress& press) {
    const std::optional<Hotkey> hotkey = trayMenuHotkeyFor(press);
    if (!hotkey) return std::nullopt;
    for (const MenuBarItem& item : items) {
        if (item.hotkey == hotkey) return item;
    }
    return std::nullopt;
}

std::string menuBarModeTitle(bool menuBarModeOn) {
    return menuBarModeOn ? "Turn off Menu Bar Mode" : "Turn on Menu Bar Mode";
}

std::vector<MenuBarItem> spotlightSubmenuItems(const std::optional<std::string>& attendedFleaID,
                                               const std::vector<MenuBarFlea>& customFleas) {
    std::vector<MenuBarItem> items;
    MenuBarItem none = item(noSpotlightTitle, MenuBarAction::spotlightFlea);
    none.checked = !attendedFleaID.has_value();
    items.push_back(none);
    items.push_back(separator());
    for (std::string_view name : residentsListed) {
        MenuBarItem entry = item(std::string(name), MenuBarAction::spotlightFlea);
        entry.checked = attendedFleaID && *attendedFleaID == name;
        items.push_back(std::move(entry));
    }
    appendCustomFleas(items, customFleas, MenuBarAction::spotlightFlea, attendedFleaID);
    return items;
}

std::vector<MenuBarItem> innerLifeSubmenuItems(const std::vector<MenuBarFlea>& customFleas) {
    std::vector<MenuBarItem> items;
    for (std::string_view name : residentsListed)
        items.push_back(item(std::string(name), MenuBarAction::showInnerLife));
    appendCustomFleas(items, customFleas, MenuBarAction::showInnerLife, std::nullopt);
    return items;
}

std::optional<std::string> spotlightChoice(const MenuBarItem& item) {
    if (item.fleaId) return item.fleaId;
    if (item.title == noSpotlightTitle) return std::nullopt;
    return item.title;
}

InnerLifeChoice innerLifeChoice(const MenuBarItem& item, const std::vector<MenuBarFlea>& customFleas) {
    if (!item.fleaId) return {item.title, item.title};
    for (const MenuBarFlea& flea : customFleas) {
        if (flea.id == *item.fleaId) return {flea.id, flea.name};
    }
    return {*item.fleaId, "Flea"};
}

}  // namespace tw
