#pragma once
// The "Cross-device troupe" window: an ordinary, resizable application window whose
// only content is the cross-device settings form, which scrolls where the window is
// shorter than it. Built on the first show, centred where the strip leaves room for
// it, then kept: closing only hides it, and every later show brings back the same
// window where the user left it.
#include <QWidget>
#include <memory>

#include "platform/telemetry_sink.h"
#include "platform/x11/above_strip_placement.h"
#include "troupe/store/troupe_postgres_endpoint.h"

namespace tw {

class TroupeStore;
class TroupeSettingsView;

class TumblewickTroupeWindow final {
   public:
    static constexpr const char* title = "Cross-device troupe";
    static constexpr int initialWidth = 480;
    static constexpr int initialHeight = 640;
    // The form is never laid out smaller than this.
    static constexpr int minimumWidth = 420;
    static constexpr int minimumHeight = 540;

    // `store` and `telemetry` (told of the form's changes) must outlive the window.
    explicit TumblewickTroupeWindow(TroupeStore& store,
                                    TroupePostgresEndpoint endpoint = TroupePostgresEndpoint::production,
                                    TelemetrySink& telemetry = noTelemetry());
    ~TumblewickTroupeWindow();
    TumblewickTroupeWindow(const TumblewickTroupeWindow&) = delete;
    TumblewickTroupeWindow& operator=(const TumblewickTroupeWindow&) = delete;

    // Shows the window (building it, centred, the first time) and brings it to the front.
    void show();
    // Where the strip is, which the window opens clear of.
    void setStripTop(StripTop stripTop) { stripTop_ = std::move(stripTop); }

    // Null until the first show.
    QWidget* window() const { return window_.get(); }
    TroupeSettingsView* settingsView() const { return view_; }

   private:
    TroupeStore& store_;
    TroupePostgresEndpoint endpoint_;
    TelemetrySink& telemetry_;
    std::unique_ptr<QWidget> window_;
    TroupeSettingsView* view_ = nullptr;
    StripTop stripTop_;
};

}  // namespace tw
