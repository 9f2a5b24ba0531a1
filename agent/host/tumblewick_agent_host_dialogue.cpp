// Lines: the request a decision makes, the periodic diary line, and how answers come
// back to the main thread and into the feeds. The host only ever hands work to the
// dialogue services; their answers return through the main queue.
#include "agent/host/agent_host_tables.h"
#include "agent/host/tumblewick_agent_host.h"

namespace tw {

std::function<void(FleaDialogueResult)> TumblewickAgentHost::onMainThread(
    std::function<void(TumblewickAgentHost&, FleaDialogueResult)> work) {
    return [life = lifeline_, queue = &mainQueue_, work = std::move(work)](FleaDialogueResult result) {
        queue->post([life, work, result = std::move(result)]() mutable {
            if (life->host) work(*life->host, std::move(result));
        });
    };
}

void TumblewickAgentHost::generateDialogueIfInteresting(const FleaAgentScheduler::PendingTick& pending,
                                                        Date now) {
    const auto kind = agent_host::outcomeKind(pending.intent.action);
    if (!kind) return;
    // The card comes from the id alone: a custom flea speaks under its UUID here.
    DialogueRequest request{.flea_id = pending.flea_id,
                            .voice_card = agent_host::plainVoiceCard(pending.flea_id),
                            .recent_memories = {},
                            .outcome_kind = std::string(*kind),
                            .channel = AgentDialogueChannel::thought_bubble,
                            .seed = agent_host::seedBits(now)};
    const Date startedAt = clock_.now();
    dialogueRouter_->generate(std::move(request),
                              onMainThread([pending, kind = std::string(*kind), startedAt](
                                               TumblewickAgentHost& host, FleaDialogueResult result) {
                                  host.deliverLine(pending, kind, result, startedAt);
                              }));
}

void TumblewickAgentHost::deliverLine(const FleaAgentScheduler::PendingTick& pending,
                                      const std::string& outcomeKind, const FleaDialogueResult& result,
                                      Date startedAt) {
    const Date now = clock_.now();
    const std::string& fleaID = pending.flea_id;
    const std::string actionRaw(rawValue(pending.intent.action));

    lineFeed_.recordBubbleLine(fleaID, actionRaw, outcomeKind, result, startedAt, now);
    channelStore_->record(fleaID, result.line, AgentDialogueChannel::thought_bubble, clock_.now());
    if (pending.intent.action == AgentAction::perform_signature && surfaceSignatureToast_)
        surfaceSignatureToast_(fleaID, actionRaw, result.line.text);
}

void TumblewickAgentHost::generateDiaryLine() {
    DialogueRequest request = diary_.nextRequest(lineFeed_.recentLines(), clock_.now());
    std::string name = request.flea_id;
    dialogueRouter_->generate(
        std::move(request),
        onMainThread([name = std::move(name)](TumblewickAgentHost& host, FleaDialogueResult result) {
            host.deliverDiaryLine(name, result);
        }));
}

void TumblewickAgentHost::deliverDiaryLine(const std::string& fleaName, const FleaDialogueResult& result) {
    // A diary line goes to the feed and the diary channel only: no bubble, no debug entry.
    lineFeed_.recordRecentLine(
        RecentLine{.fleaName = fleaName, .actionRaw = "diary", .line = result.line.text, .at = clock_.now()});
    channelStore_->record(fleaName, result.line, AgentDialogueChannel::diary_line, clock_.now());
}

void TumblewickAgentHost::topBonds(const std::string& fleaID, int limit,
                                   std::function<void(std::vector<Bond>)> done) {
    decisionLog_->decisionsInWindow(clock_.now(), AgentDecisionLog::windowDays,
                                    [life = lifeline_, queue = &mainQueue_, fleaID, limit,
                                     done = std::move(done)](AgentDecisionLog::Decisions decisions) {
                                        auto bonds = agent_host::topBonds(decisions, fleaID, limit);
                                        queue->post([life, done, bonds = std::move(bonds)] {
                                            if (life->host && done) done(bonds);
                                        });
                                    });
}

}  // namespace tw
