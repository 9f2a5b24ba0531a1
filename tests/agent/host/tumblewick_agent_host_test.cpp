#include "agent/host/tumblewick_agent_host.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "agent_host_rig.h"
#include "platform/settings_keys.h"

namespace tw {
namespace {

using testing::AgentHostRig;
using testing::FakeLanguageModel;

const std::vector<std::string> kResidents = {"Pip", "Zing", "Nova", "Dot", "Rex", "Fizz", "Blaze"};

LanguageModelResult modelAnswer(const std::string& text) {
    OrderedJson answer = OrderedJson::object();
    answer["text"] = text;
    answer["tone"] = "proud";
    answer["generated_by"] = "llm";
    answer["cache_key"] = "";
    return LanguageModelResult::answer(answer);
}

std::vector<std::string> fleaIDs(const AgentHostRig& rig) {
    std::vector<std::string> ids = kResidents;
    for (const auto& flea : rig.roster.fleas) ids.push_back(flea.id.uuidString());
    return ids;
}

void expectWithinCaps(AgentHostRig& rig) {
    TumblewickAgentHost& host = *rig.host;
    ASSERT_LE(host.recentLines().size(), TumblewickAgentHost::maxRecentLines);
    ASSERT_LE(host.dialogueDebug().size(), TumblewickAgentHost::maxDialogueDebugEntries);
    for (const auto& id : fleaIDs(rig)) {
        const MemoriesByTier tiers = host.memoriesByTier(id);
        ASSERT_LE(tiers.immediate.size() + tiers.recent.size() + tiers.season.size(), 12u) << id;
    }
    ASSERT_LE(rig.loggedDecisions(), AgentDecisionLog::maxEntries);
}

TEST(TumblewickAgentHost, AVirtualHourWithThirtyTwoFleasDecidesSpeaksRemembersAndStaysWithinCaps) {
    AgentHostRig rig(nullptr, 25);
    TumblewickAgentHost& host = *rig.host;
    // A spotlight draws the scheduler's attention every tick; without one every flea
    // takes its turn (the stage keeps it user-led while the pointer is away).
    host.setAutoSpotlightEnabled(false);
    EXPECT_TRUE(host.agentScheduler().diagnostics().empty());  // nothing before start()
    host.start();

    // Every resident and custom flea is registered under its id, in both places.
    std::set<std::string> scheduled, staged;
    for (const auto& entry : host.agentScheduler().diagnostics()) scheduled.insert(entry.flea_id);
    for (const auto& state : host.stageStateStore().allStates()) staged.insert(state.flea_id);
    const auto ids = fleaIDs(rig);
    EXPECT_EQ(scheduled, std::set<std::string>(ids.begin(), ids.end()));
    EXPECT_EQ(staged, scheduled);

    auto diaryLines = [&] {
        return std::count_if(host.recentLines().begin(), host.recentLines().end(),
                             [](const auto& line) { return line.actionRaw == "diary"; });
    };
    rig.queue.advance(29.9);
    EXPECT_EQ(diaryLines(), 0);
    rig.queue.advance(0.1);
    EXPECT_EQ(diaryLines(), 1);

    std::set<std::string> spoke;
    for (int minute = 1; minute <= 60; ++minute) {
        rig.queue.advance(minute == 1 ? 30.0 : 60.0);
        expectWithinCaps(rig);
        for (const auto& line : host.recentLines()) spoke.insert(line.fleaName);
    }
    EXPECT_DOUBLE_EQ(rig.queue.now(), 3600.0);

    // 7,200 ticks of up to two decisions: the log is full and holds only the newest.
    EXPECT_EQ(rig.loggedDecisions(), AgentDecisionLog::maxEntries);
    EXPECT_GT(spoke.size(), 7u);  // residents and custom fleas both spoke
    std::set<std::string> decided;
    host.decisionLog().decisionsInWindow(rig.now(), 7, [&](AgentDecisionLog::Decisions decisions) {
        for (const auto& decision : decisions) decided.insert(decision.flea_id);
    });
    EXPECT_EQ(decided, scheduled);

    // Diary lines at 30 s and every 600 s, to the diary channel of a resident.
    std::multiset<double> diaryTimes;
    for (const auto& name : kResidents)
        for (const auto& entry : rig.channel(name, AgentDialogueChannel::diary_line))
            diaryTimes.insert(entry.recordedAt.since(testing::kRigOrigin));
    EXPECT_EQ(diaryTimes, (std::multiset<double>{30, 600, 1200, 1800, 2400, 3000, 3600}));

    // Memories filled to the cap and split by position.
    std::size_t fullFleas = 0;
    for (const auto& id : ids) {
        const MemoriesByTier tiers = host.memoriesByTier(id);
        if (tiers.season.size() == 4) ++fullFleas;
    }
    EXPECT_GT(fullFleas, 0u);

    // Custom fleas earn XP for their own initiative, at most once per 5 s each.
    ASSERT_FALSE(rig.roster.awards.empty());
    std::map<Uuid, Date> last;
    for (const auto& award : rig.roster.awards) {
        EXPECT_TRUE(award.amount == 5 || award.amount == 3 || award.amount == 1);
        if (last.count(award.flea)) {
            EXPECT_GE(award.at.since(last[award.flea]), 5.0);
        }
        last[award.flea] = award.at;
    }

    // A signature toast only ever follows its arrived line.
    for (const auto& toast : rig.toasts) {
        EXPECT_EQ(toast.actionRaw, "perform_signature");
        EXPECT_TRUE(toast.followsItsLine);
    }
    const auto& debug = host.dialogueDebug();
    for (const auto& entry : debug) {
        EXPECT_EQ(entry.generator, "template");
        EXPECT_EQ(entry.channel, "thought_bubble");
    }

    // The day's pulse went to the group suite.
    EXPECT_TRUE(rig.group.hasKey(SharedStore::agentPulseKey));
}

TEST(TumblewickAgentHost, LinesComeFromTheModelWhileItAnswersAndFromTemplatesWhenItFailsOrHangs) {
    auto model = std::make_shared<FakeLanguageModel>();
    AgentHostRig rig(model, 25);
    TumblewickAgentHost& host = *rig.host;
    ASSERT_TRUE(host.hasLanguageModel());
    host.setAutoSpotlightEnabled(false);  // every flea takes turns

    // Answering.
    model->setAutoResult(modelAnswer("The crowd leans in."));
    host.start();
    rig.queue.advance(120);
    ASSERT_FALSE(host.dialogueDebug().empty());
    for (const auto& entry : host.dialogueDebug()) {
        EXPECT_EQ(entry.generator, "llm");
        EXPECT_EQ(entry.fallback, "noFallbackNeeded");
        EXPECT_EQ(entry.line, "The crowd leans in.");
    }
    ASSERT_FALSE(rig.toasts.empty());
    for (const auto& toast : rig.toasts) {
        EXPECT_EQ(toast.actionRaw, "perform_signature");
        EXPECT_TRUE(toast.followsItsLine);
    }
    // The bubble shows for just under 4 s after the line arrived.
    const auto latest = host.dialogueDebug().back();
    EXPECT_EQ(host.currentLineForFlea(latest.flea, latest.at.adding(3.9)), latest.line);
    EXPECT_EQ(host.currentLineForFlea(latest.flea, latest.at.adding(4.0)), std::nullopt);
    EXPECT_EQ(host.currentLineForFlea("Nobody", latest.at), std::nullopt);

    // Failing: every line the cache does not hold falls back to the templates, with the reason.
    model->setAutoResult(LanguageModelResult::failure("server error"));
    host.dialogueCache().clearAll();
    const Date failingFrom = rig.now();
    rig.queue.advance(30);
    std::size_t failed = 0;
    for (const auto& entry : host.dialogueDebug()) {
        if (entry.at <= failingFrom || entry.cacheHit) continue;
        ++failed;
        EXPECT_EQ(entry.generator, "template");
        EXPECT_EQ(entry.fallback, "llmThrewError");
    }
    EXPECT_GT(failed, 0u);

    // Never answering: ticks go on, and requests pushed out of the model's waiting
    // line still get template lines.
    model->setAutoResult(std::nullopt);
    host.dialogueCache().clearAll();
    const std::size_t decisionsBefore = rig.loggedDecisions();
    const Date hangingFrom = rig.now();
    rig.queue.advance(60);
    EXPECT_GT(rig.loggedDecisions(), decisionsBefore);
    EXPECT_EQ(model->pendingCount(), 1u);  // one call in flight, the rest wait or were pushed out
    const auto& debug = host.dialogueDebug();
    ASSERT_GT(std::count_if(debug.begin(), debug.end(),
                            [&](const auto& e) { return e.at > hangingFrom && !e.cacheHit; }),
              0);
    for (const auto& entry : debug) {
        if (entry.at <= hangingFrom || entry.cacheHit) continue;
        EXPECT_EQ(entry.generator, "template");
        EXPECT_NE(entry.fallback, "noFallbackNeeded");
    }

    // Quitting does not wait for the hung call, and its late answer changes nothing.
    host.shutdown();
    EXPECT_EQ(rig.queue.scheduledCount(), 0u);
    const auto linesAtQuit = host.recentLines();
    model->setAutoResult(modelAnswer("Too late."));
    EXPECT_TRUE(model->complete(modelAnswer("Too late.")));
    rig.queue.advance(60);
    EXPECT_EQ(host.recentLines(), linesAtQuit);
    rig.host.reset();
    EXPECT_FALSE(model->complete(modelAnswer("Later still.")));
}

TEST(TumblewickAgentHost, TemplatesSpeakUnlessAModelServerIsNamed) {
    auto model = std::make_shared<FakeLanguageModel>();
    model->setAutoResult(modelAnswer("Never asked."));
    AgentHostRig rig(model, 0, /*nameServer=*/false);
    EXPECT_FALSE(rig.host->hasLanguageModel());
    rig.host->start();
    rig.queue.advance(120);
    EXPECT_TRUE(model->requests().empty());
    ASSERT_FALSE(rig.host->dialogueDebug().empty());
    for (const auto& entry : rig.host->dialogueDebug()) EXPECT_EQ(entry.generator, "template");
}

TEST(TumblewickAgentHost, AutoSpotlightWaitsForThirtyIdleSecondsThenMovesAtMostEveryEight) {
    AgentHostRig rig;
    TumblewickAgentHost& host = *rig.host;
    host.start();
    host.attendFlea(std::string("Pip"));
    rig.queue.advance(29.5);  // last tick at 29.5 s: 29.5 s idle
    EXPECT_EQ(host.attendedFleaID(), std::optional<std::string>("Pip"));
    EXPECT_FALSE(host.autoSpotlightActive());
    rig.queue.advance(0.5);
    EXPECT_TRUE(host.autoSpotlightActive());

    // Moves are at least 8 s apart while the host leads.
    std::vector<double> moves{rig.queue.now()};
    std::optional<std::string> lit = host.attendedFleaID();
    for (int i = 0; i < 240; ++i) {
        rig.queue.advance(0.5);
        if (host.attendedFleaID() != lit) moves.push_back(rig.queue.now());
        lit = host.attendedFleaID();
    }
    for (std::size_t i = 1; i < moves.size(); ++i) EXPECT_GE(moves[i] - moves[i - 1], 8.0);

    // Switching it off clears the host's choice; a user's choice stays.
    host.setAutoSpotlightEnabled(false);
    EXPECT_EQ(host.attendedFleaID(), std::nullopt);
    EXPECT_FALSE(host.autoSpotlightActive());
    host.attendFlea(std::string("Rex"));
    host.setAutoSpotlightEnabled(true);
    host.setAutoSpotlightEnabled(false);
    EXPECT_EQ(host.attendedFleaID(), std::optional<std::string>("Rex"));

    // A caller that attends before every tick keeps the spotlight user-led for good.
    host.setAutoSpotlightEnabled(true);
    for (int i = 0; i < 200; ++i) {
        host.attendFlea(std::string("Nova"));
        rig.queue.advance(0.5);
    }
    EXPECT_FALSE(host.autoSpotlightActive());
    EXPECT_EQ(host.attendedFleaID(), std::optional<std::string>("Nova"));
    host.noteUserInteraction();
    EXPECT_EQ(host.attendedFleaID(), std::optional<std::string>("Nova"));
}

TEST(TumblewickAgentHost, AutoSpotlightSettingIsReadOnceAndOnlyAStoredBooleanTurnsItOff) {
    struct Row {
        std::optional<DefaultsValue> stored;
        bool enabled;
    };
    for (const Row& row :
         {Row{std::nullopt, true}, Row{DefaultsValue{false}, false}, Row{DefaultsValue{true}, true},
          Row{DefaultsValue{std::string("NO")}, true}, Row{DefaultsValue{std::int64_t(0)}, true}}) {
        AgentHostRig rig;
        if (row.stored) rig.standard.set(settings::autoSpotlight.key, *row.stored);
        EXPECT_EQ(rig.host->autoSpotlightEnabled(), row.enabled);
        rig.standard.set(settings::autoSpotlight.key, DefaultsValue{!row.enabled});
        EXPECT_EQ(rig.host->autoSpotlightEnabled(), row.enabled);  // cached
        rig.host->start();
        rig.queue.advance(31);
        EXPECT_EQ(rig.host->autoSpotlightActive(), row.enabled);
    }
}

TEST(TumblewickAgentHost, CustomFleasFollowTheColonyWithinThreeSecondsWithCardsBuiltOnce) {
    AgentHostRig rig(nullptr, 2);
    TumblewickAgentHost& host = *rig.host;
    host.start();
    const std::string first = rig.roster.fleas[0].id.uuidString();
    ASSERT_TRUE(host.agentScheduler().isRegistered(first));

    const RosterFlea added = testing::customFlea("Late", "crown", "cannon");
    rig.roster.fleas.push_back(added);
    rig.roster.fleas.erase(rig.roster.fleas.begin());
    rig.queue.advance(3.0);
    EXPECT_TRUE(host.agentScheduler().isRegistered(added.id.uuidString()));
    EXPECT_FALSE(host.agentScheduler().isRegistered(first));
    EXPECT_TRUE(host.stageStateStore().state(first).has_value());  // left on the stage
    EXPECT_EQ(host.stageStateStore().state(added.id.uuidString())->assigned_act, "cannon");

    // A second start() seeds nothing again but adds a further set of timers.
    const std::size_t timers = rig.queue.scheduledCount();
    host.start();
    EXPECT_EQ(host.agentScheduler().diagnostics().size(), 7u + 2u);
    EXPECT_EQ(rig.queue.scheduledCount(), timers + 3);  // the tick is replaced, the rest added

    // stop() ends the ticks only: registration and diary lines go on.
    host.stop();
    const std::size_t decisions = rig.loggedDecisions();
    rig.roster.fleas.clear();
    rig.queue.advance(600);
    EXPECT_EQ(rig.loggedDecisions(), decisions);
    EXPECT_FALSE(host.agentScheduler().isRegistered(added.id.uuidString()));
    EXPECT_GE(std::count_if(host.recentLines().begin(), host.recentLines().end(),
                            [](const auto& line) { return line.actionRaw == "diary"; }),
              3);  // 30 s twice over and 600 s twice over, minus none
}

TEST(TumblewickAgentHost, StageInputsClampFlickerAndBondsComeBackOnTheMainThread) {
    AgentHostRig rig;
    TumblewickAgentHost& host = *rig.host;
    for (auto [in, out] : {std::pair{1.7, 1.0}, {-0.2, 0.0}, {0.25, 0.25}, {std::nan(""), 0.0}}) {
        host.setEnergyFraction(in);
        EXPECT_DOUBLE_EQ(host.currentEnergyFraction(), out);
    }

    // A refusing flea turns down every eighth request; the refusal flickers for 2 s.
    host.start();
    host.stageStateStore().apply(
        FleaAgentScheduler::PendingTick{
            "Dot", AgentIntent::make(AgentAction::refuse, std::nullopt, std::nullopt, 20), rig.now()},
        rig.now());
    std::optional<Date> refusedAt;
    for (int i = 0; i < 8; ++i) {
        const auto decision = host.requestPlayerAction("Dot", "perform");
        if (decision.isRefusal()) refusedAt = rig.now();
    }
    ASSERT_TRUE(refusedAt);
    EXPECT_TRUE(host.currentRefusalFlicker("Dot", refusedAt->adding(1.99)));
    EXPECT_FALSE(host.currentRefusalFlicker("Dot", refusedAt->adding(2.0)));
    EXPECT_FALSE(host.currentRefusalFlicker("Pip", *refusedAt));
    EXPECT_EQ(host.requestPlayerAction("Dot", "perform", true).kind,
              TumblewickAgentHost::PlayerActionDecision::Kind::acceptedViaOverride);
    EXPECT_TRUE(host.currentRefusalFlicker("Dot", refusedAt->adding(1.0)));  // untouched

    // Bonds are counted from the log and handed over as a separate main-thread job.
    host.decisionLog().record("Pip", AgentIntent::make(AgentAction::join_flea, "Rex"), rig.now());
    std::optional<std::vector<TumblewickAgentHost::Bond>> bonds;
    host.topBonds("Pip", 3, [&](std::vector<TumblewickAgentHost::Bond> b) { bonds = std::move(b); });
    EXPECT_FALSE(bonds);
    rig.queue.runPending();
    ASSERT_TRUE(bonds);
    EXPECT_EQ(bonds->front(), (TumblewickAgentHost::Bond{"Rex", 1}));
}

TEST(TumblewickAgentHost, DiaryLinesAndDecisionsFileUnderTheLocalDayAcrossMidnight) {
    // Starts at 23:49:30 in Berlin (UTC+1): diary lines at 23:50:00, 23:59:30 and
    // 00:09:30, the last on the next local day, which in UTC is still the first.
    const Calendar berlin("Europe/Berlin");
    const Date start = Date::fromUnix(1796683770.0);  // 2026-12-07T22:49:30Z
    ASSERT_EQ(berlin.format(start, "yyyy-MM-dd HH:mm:ss"), "2026-12-07 23:49:30");
    AgentHostRig rig(nullptr, 0, true, start);
    rig.host->setAutoSpotlightEnabled(false);
    rig.host->start();
    rig.queue.advance(1230);

    auto diaryTimes = [&](Date day, const Calendar& calendar) {
        std::vector<std::string> times;
        for (const auto& name : kResidents) {
            rig.host->channelStore().diaryLines(
                name, day, calendar, [&](DialogueChannelStore::Entries entries) {
                    for (const auto& entry : entries)
                        times.push_back(calendar.format(entry.recordedAt, "HH:mm:ss"));
                });
        }
        std::sort(times.begin(), times.end());
        return times;
    };
    EXPECT_EQ(diaryTimes(start, berlin), (std::vector<std::string>{"23:50:00", "23:59:30"}));
    EXPECT_EQ(diaryTimes(start.adding(1230), berlin), (std::vector<std::string>{"00:09:30"}));
    const Calendar utc("UTC");
    EXPECT_EQ(diaryTimes(start, utc), (std::vector<std::string>{"22:50:00", "22:59:30", "23:09:30"}));

    // The log's day queries split the same run at local midnight.
    std::size_t before = 0, after = 0, all = 0;
    auto& log = rig.host->decisionLog();
    log.decisionsForDay(start, 0, berlin, [&](AgentDecisionLog::Decisions d) { before = d.size(); });
    log.decisionsForDay(start, 1, berlin, [&](AgentDecisionLog::Decisions d) { after = d.size(); });
    log.decisionsForDay(start, 0, utc, [&](AgentDecisionLog::Decisions d) { all = d.size(); });
    // Two decisions on each of 2,460 ticks, the newest 4,096 kept: of the 2 × 1,259 taken
    // before midnight (ticks 0.5 s to 629.5 s) the oldest 824 are gone.
    EXPECT_EQ(before, 2u * 1259 - (2u * 2460 - AgentDecisionLog::maxEntries));
    EXPECT_EQ(before + after, all);
}

TEST(TumblewickAgentHost, SharedIsTheInstalledHostOnlyWhileInstalledAndBuiltWithoutRegisteringAnyone) {
    testing::ManualMainQueue queue;
    testing::QueueClock clock(queue, testing::kRigOrigin);
    testing::InMemoryDefaults defaults;
    TumblewickAgentHost host(TumblewickAgentHost::Environment{
        .mainQueue = &queue,
        .clock = &clock,
        .standardDefaults = &defaults,
        .telemetry = nullptr,
        .makeExecutor = [] { return std::make_unique<InlineSerialExecutor>(); }});
    EXPECT_THROW(TumblewickAgentHost::shared(), std::logic_error);
    TumblewickAgentHost::installShared(&host);
    EXPECT_EQ(&TumblewickAgentHost::shared(), &host);
    EXPECT_TRUE(host.agentScheduler().diagnostics().empty());
    EXPECT_EQ(queue.scheduledCount(), 0u);
    TumblewickAgentHost::installShared(nullptr);
    EXPECT_THROW(TumblewickAgentHost::shared(), std::logic_error);
}

}  // namespace
}  // namespace tw
