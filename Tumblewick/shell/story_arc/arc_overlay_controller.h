#pragma once
// Keeps the story-arc card in step with the store: it shows while an arc runs and is
// gone otherwise, checked at start, every 30 seconds and whenever the store changes
// from outside. A card is placed when it is made; one that stops qualifying is closed,
// and the next is made afresh at the then current corner. Main thread only.
#include <functional>
#include <memory>

#include "Tumblewick/shell/story_arc/arc_card.h"
#include "platform/key_value_store.h"
#include "platform/main_queue.h"
#include "platform/owner_lifetime.h"

namespace tw {

// The card on screen; destroying it closes it.
class ArcCardPanel {
   public:
    virtual ~ArcCardPanel() = default;
    virtual void configure(const ArcCard& card) = 0;
    // To the front, without taking the focus.
    virtual void orderFront() = 0;
};

class ArcOverlayController {
   public:
    static constexpr double refreshSeconds = 30.0;
    using PanelFactory = std::function<std::unique_ptr<ArcCardPanel>()>;

    // Every reference must outlive the controller.
    ArcOverlayController(KeyValueStore& store, MainQueue& mainQueue, PanelFactory makePanel);
    // Stops listening and closes the card.
    ~ArcOverlayController();
    ArcOverlayController(const ArcOverlayController&) = delete;
    ArcOverlayController& operator=(const ArcOverlayController&) = delete;

    void start();
    bool cardShown() const { return panel_ != nullptr; }

   private:
    void refresh();

    KeyValueStore& store_;
    MainQueue& mainQueue_;
    PanelFactory makePanel_;
    std::unique_ptr<ArcCardPanel> panel_;
    std::optional<TaskId> refreshTimer_;
    std::optional<KeyValueStore::Token> observer_;
    OwnerLifetime lifetime_;  // last: posted refreshes stop before anything else goes
};

}  // namespace tw
