#pragma once
// The cross-device settings form: the dual-write switch, the one place that setting is
// written, and a plain word that the log stays on this computer (nothing syncs it yet). Its
// model is made once, from the store and endpoint it is built with, and lives as long
// as the form.
#include <QCheckBox>
#include <QLabel>
#include <QWidget>

#include "troupe/settings/troupe_settings_model.h"

namespace tw {

class TroupeSettingsView final : public QWidget {
   public:
    static constexpr const char* title = "Cross-device sync";
    static constexpr const char* dualWriteTitle = "Write colony changes to the troupe log";
    static constexpr const char* whereText =
        "The troupe log stays on this computer: nothing is sent to a server or synced to other devices.";

    explicit TroupeSettingsView(TroupeStore& store,
                                TroupePostgresEndpoint endpoint = TroupePostgresEndpoint::production,
                                QWidget* parent = nullptr, TelemetrySink& telemetry = noTelemetry());

    const TroupeSettingsModel& model() const { return model_; }
    QCheckBox* dualWriteSwitch() const { return dualWrite_; }
    QLabel* whereLine() const { return where_; }

   private:
    TroupeSettingsModel model_;
    QCheckBox* dualWrite_ = nullptr;
    QLabel* where_ = nullptr;
};

}  // namespace tw
