#pragma once
// The dialogue inspector: a floating tool window listing the newest dialogue
// generations with a summary line above. It refreshes every 1.5 s while it shows and
// not at all while hidden. Built on the first toggle that finds a screen, then reused.
// Its text can be copied: a refresh keeps what is selected selected and in its place
// on screen, and waits while the left button that pressed in the text is held.
#include <functional>

#include "windows/companions/companion_text_panel.h"
#include "windows/companions/dialogue_inspector_texts.h"
#include "windows/companions/speaker_name.h"

namespace tw {

class Clock;
class TumblewickAgentHost;

class TumblewickDialogueInspector final : public CompanionTextPanel {
   public:
    using Source = std::function<DialogueInspectorContent()>;
    static constexpr int refreshMilliseconds = 1500;

    explicit TumblewickDialogueInspector(Source source, QWidget* parent = nullptr);
    // What the host holds now, read at each refresh.
    // Custom fleas by their current names.
    static Source hostSource(TumblewickAgentHost& host, const Clock& clock, CustomFleaList customFleas);

    void refresh() override;

   protected:
    QPoint firstPlace(const QRect& frame) const override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

   private:
    Source source_;
    DialogueInspectorContent shown_;
    bool pressedInText_ = false;  // the left button last went down in the text
    bool putOff_ = false;         // and a refresh came while it was held
};

}  // namespace tw
