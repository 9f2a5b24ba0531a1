#include "troupe/event_model/troupe_enums.h"

namespace tw {

const std::set<std::string, std::less<>>& troupePortableSettingKeys() {
    // Function-local static: built once, safely, on first use.
    static const std::set<std::string, std::less<>> keys{"theme", "idleStories", "cursorTrail",
                                                         "autoSeasonal", "pinnedAct"};
    return keys;
}

bool isTroupePortableSettingKey(std::string_view key) { return troupePortableSettingKeys().contains(key); }

}  // namespace tw
