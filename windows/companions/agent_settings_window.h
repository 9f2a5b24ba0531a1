#pragma once
// The agent settings window: a small floating tool window with the four display
// switches and a line on the dialogue cache. Built once and reused; closing it hides it.
#include <QCheckBox>
#include <QLabel>
#include <QWidget>
#include <array>
#include <functional>
#include <string>

#include "platform/defaults.h"
#include "platform/owner_lifetime.h"
#include "platform/qt/refresh_while_shown.h"
#include "platform/x11/above_strip_placement.h"

namespace tw {

class AgentSettingsWindow final : public QWidget {
   public:
    struct Hooks {
        // The host reads its key only once, so it is told as well.
        std::function<void(bool)> autoSpotlightChanged;
        // Asked at once and every 5 s while the window shows; hands the cache line to
        // `show` on the main thread whenever it is ready (after the window is gone too).
        std::function<void(std::function<void(std::string)> show)> cacheStats;
    };

    static constexpr int refreshMilliseconds = 5000;
    // Its size wherever its content fits; otherwise it is as much taller as it needs.
    static constexpr int panelWidth = 340;
    static constexpr int panelLeastHeight = 220;

    AgentSettingsWindow(Defaults& standard, Hooks hooks, QWidget* parent = nullptr);

    // Hides the window when it shows, otherwise centres it (clear of the strip) and
    // brings it to the front, no longer minimised.
    void toggle();
    void refreshCacheStats();
    // Where the strip is, which the window opens clear of.
    void setStripTop(StripTop stripTop) { stripTop_ = std::move(stripTop); }

    QCheckBox* checkBox(const char* key) const;
    QLabel* cacheLine() const { return cacheLine_; }
    const QTimer& refreshTimer() const { return refreshing_->timer(); }

   private:
    // Fixed in size, tall enough for every line at this width.
    void fitHeight();

    Defaults& standard_;
    Hooks hooks_;
    std::array<QCheckBox*, 4> boxes_{};
    QLabel* cacheLine_ = nullptr;
    RefreshWhileShown* refreshing_ = nullptr;  // a child of the window
    StripTop stripTop_;
    OwnerLifetime lifetime_;  // last: late cache figures stop before the line goes
};

}  // namespace tw
