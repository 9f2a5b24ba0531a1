#include "platform/desktop_info.h"

#include <cstdlib>

namespace tw {

DesktopInfo DesktopInfo::from(const Environment& environment) {
    const auto set = [&](const char* name) {
        const auto value = environment(name);
        return value && !value->empty();
    };
    DesktopInfo info;
    info.waylandSession = set("WAYLAND_DISPLAY") || environment("XDG_SESSION_TYPE") == "wayland";
    info.xDisplay = set("DISPLAY");
    info.platformChosen = set("QT_QPA_PLATFORM");
    info.waylandDisplay = set("WAYLAND_DISPLAY");
    if (info.platformChosen) info.platform = *environment("QT_QPA_PLATFORM");
    return info;
}

const DesktopInfo& DesktopInfo::current() {
    static const DesktopInfo info = from([](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (value == nullptr) return std::nullopt;
        return std::string(value);
    });
    return info;
}

}  // namespace tw
