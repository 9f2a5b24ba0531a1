#include "troupe/settings/troupe_settings_model.h"

#include "platform/settings_keys.h"

namespace tw {

TroupeSettingsModel::TroupeSettingsModel(TroupeStore& store, TroupePostgresEndpoint endpoint,
                                         TelemetrySink& telemetry)
    : store_(store), endpoint_(std::move(endpoint)), telemetry_(telemetry) {
    // Any stored value reads as a Boolean; a missing one is false.
    dualWriteEnabled_ = store_.standardDefaults().boolForKey(settings::troupeDualWrite.key);
}

void TroupeSettingsModel::setDualWriteEnabled(bool enabled) {
    if (enabled == dualWriteEnabled_) return;
    dualWriteEnabled_ = enabled;
    store_.standardDefaults().setBool(settings::troupeDualWrite.key, enabled);
    telemetry_.track(dualWriteToggledEvent, {{"enabled", enabled}});
}

}  // namespace tw
