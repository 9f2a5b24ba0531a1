#pragma once
// The model behind the cross-device troupe settings window. The dual-write switch is
// read from the standard defaults when the window opens and written there on every
// change, and nowhere else; absent means off.
#include "platform/defaults.h"
#include "troupe/store/troupe_postgres_endpoint.h"
#include "troupe/store/troupe_store.h"

namespace tw {

class TroupeSettingsModel {
   public:
    // Made once per window, when it opens: reads the switch.
    TroupeSettingsModel(TroupeStore& store, TroupePostgresEndpoint endpoint);

    bool dualWriteEnabled() const { return dualWriteEnabled_; }
    // The user flipped the switch: stored at once when it changed.
    void setDualWriteEnabled(bool enabled);

    TroupeStore& store() const { return store_; }
    const TroupePostgresEndpoint& endpoint() const { return endpoint_; }

   private:
    TroupeStore& store_;
    TroupePostgresEndpoint endpoint_;
    bool dualWriteEnabled_ = false;
};

}  // namespace tw
