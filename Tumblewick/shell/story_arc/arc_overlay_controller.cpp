#include "Tumblewick/shell/story_arc/arc_overlay_controller.h"

namespace tw {

ArcOverlayController::ArcOverlayController(KeyValueStore& store, MainQueue& mainQueue, PanelFactory makePanel)
    : store_(store), mainQueue_(mainQueue), makePanel_(std::move(makePanel)) {}

ArcOverlayController::~ArcOverlayController() {
    if (observer_) store_.removeObserver(*observer_);
    if (refreshTimer_) mainQueue_.cancel(*refreshTimer_);
}

void ArcOverlayController::start() {
    // The refresh is posted: the controller may be gone by the time it runs.
    observer_ =
        store_.observeExternalChanges([this] { mainQueue_.post(lifetime_.guarded([this] { refresh(); })); });
    store_.synchronize();
    refreshTimer_ = mainQueue_.repeat(refreshSeconds, [this] { refresh(); });
    refresh();
}

void ArcOverlayController::refresh() {
    const std::optional<ArcCard> card = arcCardToShow(ArcKVSReader(store_));
    if (!card) {
        panel_.reset();
        return;
    }
    if (!panel_) panel_ = makePanel_();
    if (!panel_) return;
    panel_->configure(*card);
    panel_->orderFront();
}

}  // namespace tw
