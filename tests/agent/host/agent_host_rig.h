#pragma once
// A host on virtual time: a manual main queue whose time is also the host's clock,
// inline service executors, in-memory defaults and a list of custom fleas.
#include <cstdlib>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "agent/host/tumblewick_agent_host.h"
#include "platform/testing/fake_language_model.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_main_queue.h"

namespace tw::testing {

// 2026-12-07 12:00:00 UTC.
inline const Date kRigOrigin = Date::fromUnix(1796644800.0);

inline RosterFlea customFlea(std::string name, std::string hat, std::string act) {
    return RosterFlea{Uuid::random(), std::move(name), std::move(hat), std::move(act)};
}

class QueueClock final : public Clock {
   public:
    QueueClock(const ManualMainQueue& queue, Date origin) : queue_(queue), origin_(origin) {}
    Date now() const override { return origin_.adding(queue_.now()); }
    double monotonic() const override { return queue_.now(); }

   private:
    const ManualMainQueue& queue_;
    Date origin_;
};

class ListRoster final : public CustomFleaRoster {
   public:
    std::vector<RosterFlea> fleas;
    struct Award {
        Uuid flea;
        std::int64_t amount;
        Date at;
    };
    const Clock* clock = nullptr;
    std::vector<Award> awards;  // in order

    std::vector<RosterFlea> customFleas() const override { return fleas; }
    void addXP(std::int64_t amount, const Uuid& fleaID) override {
        awards.push_back(Award{fleaID, amount, clock->now()});
    }
};

struct AgentHostRig {
    struct Toast {
        std::string flea, actionRaw, line;
        Date at;
        bool followsItsLine = false;  // the feed's newest line was this one when it rose
    };

    ManualMainQueue queue;
    QueueClock clock;
    InMemoryDefaults standard;
    InMemoryDefaults group;
    ListRoster roster;
    std::shared_ptr<FakeLanguageModel> model;
    std::vector<Toast> toasts;
    std::unique_ptr<TumblewickAgentHost> host;

    // With `nameServer`, TUMBLEWICK_MODEL_URL names a model server while the host is built.
    explicit AgentHostRig(std::shared_ptr<FakeLanguageModel> languageModel = nullptr, int customFleas = 0,
                          bool nameServer = true, Date origin = kRigOrigin)
        : clock(queue, origin), model(std::move(languageModel)) {
        roster.clock = &clock;
        for (int i = 0; i < customFleas; ++i) {
            static const char* acts[] = {"tightrope", "Strongflea", "cannon", "juggling", "yodelling"};
            static const char* hats[] = {"topHat", "crown", "none", "bandana"};
            roster.fleas.push_back(customFlea("Custom " + std::to_string(i), hats[i % 4], acts[i % 5]));
        }
        if (nameServer)
            ::setenv("TUMBLEWICK_MODEL_URL", "http://127.0.0.1:9", 1);
        else
            ::unsetenv("TUMBLEWICK_MODEL_URL");
        TumblewickAgentHost::Environment environment{
            .mainQueue = &queue,
            .clock = &clock,
            .standardDefaults = &standard,
            .calendar = Calendar("Europe/Berlin"),
            .sharedSuite = &group,
            .customFleas = &roster,
            .makeLanguageModel = [this](const std::string&) -> std::shared_ptr<LanguageModel> {
                return model;
            },
            .surfaceSignatureToast =
                [this](const std::string& flea, const std::string& action, const std::string& line) {
                    // The newest few are enough to check, and keep a long run's heap flat.
                    const auto& lines = host->recentLines();
                    const bool follows = !lines.empty() && lines.back().fleaName == flea &&
                                         lines.back().actionRaw == action && lines.back().line == line;
                    agent_host::appendCapped(toasts, Toast{flea, action, line, clock.now(), follows}, 200);
                },
            .telemetry = nullptr,
            .makeExecutor = [] { return std::make_unique<InlineSerialExecutor>(); },
        };
        host = std::make_unique<TumblewickAgentHost>(std::move(environment));
        ::unsetenv("TUMBLEWICK_MODEL_URL");
    }

    Date now() const { return clock.now(); }

    std::size_t loggedDecisions() {
        std::size_t n = 0;
        host->decisionLog().count([&](std::size_t c) { n = c; });
        return n;
    }
    DialogueChannelStore::Entries channel(const std::string& flea, AgentDialogueChannel which) {
        DialogueChannelStore::Entries out;
        host->channelStore().entries(flea, which, 1000,
                                     [&](DialogueChannelStore::Entries e) { out = std::move(e); });
        return out;
    }
};

}  // namespace tw::testing
