#include "platform/desktop.h"

#include <atomic>

namespace tw {

namespace {

// Reveals nothing, plays nothing, and answers every alert with its default button.
class QuietDesktop final : public Desktop {
   public:
    void revealFile(const std::filesystem::path&) override {}
    void playSound(const std::string&) override {}
    std::size_t runAlert(const DesktopAlert&) override { return 0; }
};

QuietDesktop quietDesktop;
std::atomic<Desktop*> installed{nullptr};

}  // namespace

Desktop& Desktop::shared() {
    Desktop* desktop = installed.load();
    return desktop != nullptr ? *desktop : quietDesktop;
}

void Desktop::installShared(Desktop* desktop) { installed.store(desktop); }

}  // namespace tw
