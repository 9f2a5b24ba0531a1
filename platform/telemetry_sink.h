#pragma once
// Where the simulation reports usage events. The app's telemetry client sits behind
// it; code that reports takes a sink and never knows whether anyone listens.
#include <string>

#include "platform/telemetry_value.h"

namespace tw {

class TelemetrySink {
   public:
    virtual ~TelemetrySink() = default;
    // Never blocks and never fails; may be called from any thread.
    virtual void track(const std::string& name, TelemetryProperties properties) = 0;
};

// Drops every event: for code that is built without a telemetry client.
class NoTelemetry final : public TelemetrySink {
   public:
    void track(const std::string&, TelemetryProperties) override {}
};

inline TelemetrySink& noTelemetry() {
    static NoTelemetry sink;
    return sink;
}

}  // namespace tw
