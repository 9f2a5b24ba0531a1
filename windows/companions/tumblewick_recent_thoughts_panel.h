#pragma once
// The recent thoughts panel: a floating tool window in the top-right corner with what
// the fleas said lately. It refreshes every second while it shows and not at all
// while hidden. Built on the first toggle that finds a screen, then reused.
#include <functional>
#include <vector>

#include "windows/companions/companion_text_panel.h"
#include "windows/companions/recent_thoughts_texts.h"
#include "windows/companions/speaker_name.h"

namespace tw {

class Clock;
class TumblewickAgentHost;

class TumblewickRecentThoughtsPanel final : public CompanionTextPanel {
   public:
    using Source = std::function<std::vector<ThoughtsRun>()>;
    static constexpr int refreshMilliseconds = 1000;

    explicit TumblewickRecentThoughtsPanel(Source source, QWidget* parent = nullptr);
    // What the host holds now, read at each refresh.
    // Custom fleas by their current names.
    static Source hostSource(TumblewickAgentHost& host, const Clock& clock, CustomFleaList customFleas);

    void refresh() override;

   protected:
    QPoint firstPlace(const QRect& frame) const override;

   private:
    Source source_;
};

}  // namespace tw
