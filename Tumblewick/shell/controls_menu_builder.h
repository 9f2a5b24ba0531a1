#pragma once
// Turns the controls menu's items into a real menu whose actions report the item chosen.
#include <QMenu>
#include <functional>
#include <vector>

#include "Tumblewick/shell/launch/controls_menu.h"

namespace tw {

void fillControlMenu(QMenu& menu, const std::vector<ControlMenuItem>& items,
                     const std::function<void(const ControlMenuItem&)>& chosen);

}  // namespace tw
