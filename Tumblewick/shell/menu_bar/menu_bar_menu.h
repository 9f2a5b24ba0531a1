#pragma once
// The tray item's context menu and its two flea submenus, as data: titles, the hotkeys
// that do the same, check marks and what each item does. The shell turns them into menus.
#include <optional>
#include <string>
#include <vector>

#include "platform/hotkeys.h"

namespace tw {

enum class MenuBarAction {
    none,
    togglePopover,
    openRecentThoughts,
    exportChapter,
    saveShareCard,
    openWatchPanel,
    openDragDown,
    openDialogueInspector,
    openSettings,
    openTroupeSettings,
    toggleMenuBarMode,
    quit,
    spotlightFlea,
    showInnerLife,
};

enum class MenuBarSubmenu { none, spotlight, innerLife };

struct MenuBarItem {
    std::string title{};
    MenuBarAction action = MenuBarAction::none;
    bool separator = false;
    // The hotkey that does the same, shown beside the title; it works while the menu is
    // open: a desktop hotkey everywhere, the menu's own ones only there.
    std::optional<Hotkey> hotkey{};
    bool checked = false;
    MenuBarSubmenu submenu = MenuBarSubmenu::none;
    std::optional<std::string> fleaId{};  // a custom flea's id text
    friend bool operator==(const MenuBarItem&, const MenuBarItem&) = default;
};

// A custom flea as the submenus list it.
struct MenuBarFlea {
    std::string id;  // canonical id text
    std::string name;
    friend bool operator==(const MenuBarFlea&, const MenuBarFlea&) = default;
};

std::vector<MenuBarItem> menuBarContextMenuItems(bool menuBarModeOn);
// The item a key press made while the menu is open chooses by the menu's own hotkeys
// (the desktop's are answered before the menu sees the press); none for any other press.
std::optional<MenuBarItem> menuBarItemForKey(const std::vector<MenuBarItem>& items, const KeyPress& press);
// The mode switch's title follows the mode.
std::string menuBarModeTitle(bool menuBarModeOn);
std::vector<MenuBarItem> spotlightSubmenuItems(const std::optional<std::string>& attendedFleaID,
                                               const std::vector<MenuBarFlea>& customFleas);
std::vector<MenuBarItem> innerLifeSubmenuItems(const std::vector<MenuBarFlea>& customFleas);

// What choosing a Spotlight item hands the agent host: a custom flea's id, nothing
// for "(none)", else the roster name.
std::optional<std::string> spotlightChoice(const MenuBarItem& item);

struct InnerLifeChoice {
    std::string fleaId;
    std::string displayName;
    friend bool operator==(const InnerLifeChoice&, const InnerLifeChoice&) = default;
};
// A custom flea by its id (named "Flea" when it has gone meanwhile), else the roster
// name as both id and name.
InnerLifeChoice innerLifeChoice(const MenuBarItem& item, const std::vector<MenuBarFlea>& customFleas);

}  // namespace tw
