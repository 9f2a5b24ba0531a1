#pragma once
// Installs an opted-in telemetry client for one test and reads back what was tracked.
#include <memory>
#include <string>
#include <vector>

#include "Tumblewick/shell/telemetry/telemetry.h"
#include "platform/serial_executor.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"

namespace tw::testing {

class NullHttpClient final : public HttpClient {
   public:
    void send(HttpRequest, Completion completion) override { completion(HttpResponse{}); }
};

class TelemetryCapture {
   public:
    TelemetryCapture() {
        defaults_.setBool(Telemetry::optInKey, true);
        client_ = std::make_shared<Telemetry>(defaults_, http_, clock_, queue_,
                                              std::make_unique<InlineSerialExecutor>());
        Telemetry::installShared(client_);
    }
    ~TelemetryCapture() { Telemetry::installShared(nullptr); }

    // "name flea_id=... intent=..." per event, oldest first.
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const auto& event : client_->pendingEventsSnapshot()) {
            std::string line = event.name;
            if (event.properties)
                for (const auto& [key, value] : *event.properties)
                    line += " " + key + "=" + (value.string() ? *value.string() : std::string("?"));
            out.push_back(line);
        }
        return out;
    }

   private:
    InMemoryDefaults defaults_;
    NullHttpClient http_;
    ManualClock clock_;
    ManualMainQueue queue_;
    std::shared_ptr<Telemetry> client_;
};

}  // namespace tw::testing
