#include "platform/desktop.h"

#include <atomic>
#include <string_view>

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

std::string fileUri(const std::filesystem::path& file) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(file, error);
    if (error) absolute = file;
    for (const char c : absolute.string()) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') ||
                           std::string_view("/-._~").find(c) != std::string_view::npos;
        if (plain) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 15];
        }
    }
    return uri;
}

Desktop& Desktop::shared() {
    Desktop* desktop = installed.load();
    return desktop != nullptr ? *desktop : quietDesktop;
}

void Desktop::installShared(Desktop* desktop) { installed.store(desktop); }

}  // namespace tw
