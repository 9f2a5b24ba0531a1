#pragma once
// Which modifiers are held, from the raw key presses and releases of the whole
// desktop (raw device events carry no modifier state of their own).
#include <cstdint>
#include <map>

#include "platform/x11/mac_key_code_table.h"

namespace tw {

class ModifierTracker {
   public:
    // Returns false when the key was already down: an auto-repeat, not a new press.
    bool press(std::uint32_t xKeycode, KeyRole role);
    void release(std::uint32_t xKeycode);
    bool command() const { return count(KeyRole::command) > 0; }
    bool shift() const { return count(KeyRole::shift) > 0; }
    bool held(std::uint32_t xKeycode) const { return down_.contains(xKeycode); }

   private:
    int count(KeyRole role) const;
    std::map<std::uint32_t, KeyRole> down_;
};

}  // namespace tw
