// Telemetry as the running app wires it: the services that report events reach the
// shared client, and the user's opt-in decides whether that client ever exists.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

#include "Tumblewick/shell/app_services.h"
#include "Tumblewick/shell/telemetry/telemetry.h"
#include "Tumblewick/shell/window_entries.h"
#include "agent/host/tumblewick_agent_host.h"
#include "platform/http_language_model.h"
#include "platform/settings_keys.h"
#include "troupe/settings/view/troupe_settings_view.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

// A home of its own for the app's settings and data, for the life of the test.
class ScopedHome {
   public:
    ScopedHome() {
        char pattern[] = "/tmp/tw-services-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("no temporary folder");
        root_ = pattern;
        for (const char* name :
             {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", HttpLanguageModel::kBaseUrlVariable})
            if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
        ::setenv("HOME", root_.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        ::unsetenv(HttpLanguageModel::kBaseUrlVariable);  // templates only: no model server
    }
    ~ScopedHome() {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) ::unsetenv(name);
        for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
        fs::remove_all(root_);
    }

   private:
    fs::path root_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

// The standard settings as the next launch will read them.
std::optional<std::string> storedAnonymousId() {
    JsonFileDefaults standard(JsonFileDefaults::suiteFile("standard"));
    return standard.stringForKey(Telemetry::anonymousIdKey);
}

// One line through the agent host's router, and one flip of the troupe form's switch.
void reportALineAndADualWriteToggle(AppServices& services) {
    std::promise<void> routed;
    services.agentHost().dialogueRouter().generate(
        DialogueRequest::make("Pip", VoiceCard{}, {}, "clean_success", AgentDialogueChannel::thought_bubble,
                              7),
        [&](FleaDialogueResult) { routed.set_value(); });
    ASSERT_EQ(routed.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);

    WindowEntries windows = makeWindowEntries(services);
    windows.showTroupeWindow();
    TroupeSettingsView* form = nullptr;
    // The form has no meta-object of its own, by which findChild could tell it from other widgets.
    for (QWidget* window : QApplication::topLevelWidgets())
        for (QWidget* child : window->findChildren<QWidget*>())
            if (auto* found = dynamic_cast<TroupeSettingsView*>(child)) form = found;
    ASSERT_NE(form, nullptr);
    form->dualWriteSwitch()->click();
}

std::set<std::string> queuedNames(const std::shared_ptr<Telemetry>& client) {
    std::set<std::string> names;
    for (const Telemetry::Event& event : client->pendingEventsSnapshot()) names.insert(event.name);
    return names;
}

TEST(AppServicesTelemetry, TheOptInDecidesWhetherTheClientExistsAndItKeepsItsIdAcrossLaunches) {
    for (const bool optedIn : {true, false}) {
        SCOPED_TRACE(optedIn ? "opted in" : "opted out");
        ScopedHome home;
        {
            JsonFileDefaults standard(JsonFileDefaults::suiteFile("standard"));
            standard.setBool(settings::telemetryOptIn.key, optedIn);
        }
        std::optional<Uuid> firstId, firstSession;
        for (int launch = 1; launch <= 2; ++launch) {
            SCOPED_TRACE("launch " + std::to_string(launch));
            {
                AppServices services;
                reportALineAndADualWriteToggle(services);
                const std::shared_ptr<Telemetry> client = services.telemetry().madeClient();
                if (optedIn) {
                    ASSERT_NE(client, nullptr);
                    EXPECT_EQ(Telemetry::shared(), client);
                    const std::set<std::string> expected{"flea_dialogue_generated",
                                                         "troupe_dual_write_toggled"};
                    EXPECT_EQ(queuedNames(client), expected);
                    if (launch == 1) {
                        firstId = client->anonymousId();
                        firstSession = client->sessionId();
                    } else {
                        EXPECT_EQ(client->anonymousId(), firstId);
                        EXPECT_NE(client->sessionId(), firstSession);
                    }
                } else {
                    EXPECT_EQ(client, nullptr);
                    EXPECT_FALSE(Telemetry::isOptedIn());
                }
            }
            EXPECT_EQ(Telemetry::shared(), nullptr);  // the services took their client with them
            if (optedIn)
                EXPECT_EQ(storedAnonymousId(), firstId->uuidString());
            else
                EXPECT_EQ(storedAnonymousId(), std::nullopt);
        }
    }
}

}  // namespace
}  // namespace tw
