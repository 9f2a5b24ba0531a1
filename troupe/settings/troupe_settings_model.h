#pragma once
// The model behind the cross-device troupe settings window. The dual-write switch is
// read from the standard defaults when the window opens and written there on every
// change, and nowhere else; absent means off. Each change is reported as a usage event.
#include "platform/defaults.h"
#include "platform/telemetry_sink.h"
#include "troupe/store/troupe_postgres_endpoint.h"
#include "troupe/store/troupe_store.h"

namespace tw {

class TroupeSettingsModel {
   public:
    static constexpr const char* dualWriteToggledEvent = "troupe_dual_write_toggled";

    // Made once per window, when it opens: reads the switch. `telemetry` must outlive it.
    TroupeSettingsModel(TroupeStore& store, TroupePostgresEndpoint endpoint,
                        TelemetrySink& telemetry = noTelemetry());

    bool dualWriteEnabled() const { return dualWriteEnabled_; }
    // The user flipped the switch: stored at once and reported when it changed.
    void setDualWriteEnabled(bool enabled);

    TroupeStore& store() const { return store_; }
    const TroupePostgresEndpoint& endpoint() const { return endpoint_; }

   private:
    TroupeStore& store_;
    TroupePostgresEndpoint endpoint_;
    TelemetrySink& telemetry_;
    bool dualWriteEnabled_ = false;
};

}  // namespace tw
