#pragma once
// A telemetry sink that keeps every event it is told of, oldest first.
#include <string>
#include <utility>
#include <vector>

#include "platform/telemetry_sink.h"

namespace tw::testing {

class RecordingTelemetrySink final : public TelemetrySink {
   public:
    struct Event {
        std::string name;
        TelemetryProperties properties;
    };

    void track(const std::string& name, TelemetryProperties properties) override {
        events.push_back({name, std::move(properties)});
    }

    // "name key=value ..." per event, keys in order; a value that is not text reads "?".
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const auto& event : events) {
            std::string line = event.name;
            for (const auto& [key, value] : event.properties)
                line += " " + key + "=" + (value.string() ? *value.string() : std::string("?"));
            out.push_back(std::move(line));
        }
        return out;
    }

    std::vector<Event> events;
};

}  // namespace tw::testing
