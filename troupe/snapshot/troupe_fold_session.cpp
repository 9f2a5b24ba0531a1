#include "troupe/snapshot/troupe_fold_session.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <variant>

#include "platform/log.h"
#include "troupe/event_model/troupe_value_ops.h"
#include "troupe/snapshot/troupe_fold.h"

namespace tw {

namespace {

using Speaker = TroupeMessageEntry::Speaker;

TroupeFlea* liveFlea(TroupeSnapshot& s, const Uuid& id) {
    auto found = s.fleas.find(id);
    if (found == s.fleas.end() || found->second.tombstoned) return nullptr;
    return &found->second;
}

void addXp(TroupeFlea& flea, std::int64_t amount) { flea.xp = troupe_ops::saturatingAdd(flea.xp, amount); }

TroupeDeviceSeen& deviceEntry(TroupeSnapshot& s, const TroupeEvent& event, TroupeDeviceKind kind,
                              const std::optional<std::string>& name) {
    auto [it, inserted] = s.devices.try_emplace(event.deviceId);
    if (inserted) it->second = TroupeDeviceSeen{event.deviceId, kind, name, event.ts};
    return it->second;
}

void moveLastSeen(TroupeDeviceSeen& device, Date ts) {
    if (ts > device.lastSeen) device.lastSeen = ts;
}

}  // namespace

void TroupeFoldSession::apply(const TroupeEvent& event) {
    TroupeSnapshot& s = snapshot_;
    if (!s.lastEventTs || event.ts > *s.lastEventTs) s.lastEventTs = event.ts;

    std::visit(
        [&](const auto& body) {
            using Body = std::decay_t<decltype(body)>;
            if constexpr (std::is_same_v<Body, TroupeFleaCreated>) {
                if (!s.fleas.contains(body.fleaId)) {
                    s.fleas.emplace(body.fleaId, TroupeFlea{.id = body.fleaId,
                                                            .name = body.name,
                                                            .bodyColorIndex = body.bodyColorIndex,
                                                            .hatKind = body.hatKind,
                                                            .discoveredAct = body.discoveredAct,
                                                            .createdAt = body.createdAt,
                                                            .traits = body.traits});
                }
            } else if constexpr (std::is_same_v<Body, TroupeFleaRenamed>) {
                if (TroupeFlea* flea = liveFlea(s, body.fleaId)) flea->name = body.newName;
            } else if constexpr (std::is_same_v<Body, TroupeFleaRecustomized>) {
                if (TroupeFlea* flea = liveFlea(s, body.fleaId)) {
                    if (body.hatKind) flea->hatKind = *body.hatKind;
                    if (body.bodyColorIndex) flea->bodyColorIndex = *body.bodyColorIndex;
                    if (body.traits) flea->traits = *body.traits;
                    if (body.voiceStyle) flea->voiceStyle = body.voiceStyle;
                    if (body.ambition) flea->ambition = body.ambition;
                    if (body.superstitions) flea->superstitions = *body.superstitions;
                }
            } else if constexpr (std::is_same_v<Body, TroupeFleaIdOnly>) {
                auto found = s.fleas.find(body.fleaId);
                if (found != s.fleas.end()) found->second.tombstoned = true;
            } else if constexpr (std::is_same_v<Body, TroupeXPEarned>) {
                if (body.amount < 1) return;
                if (!body.fleaId) {
                    for (auto& [id, flea] : s.fleas) {
                        if (!flea.tombstoned) addXp(flea, body.amount);
                    }
                } else if (TroupeFlea* flea = liveFlea(s, *body.fleaId)) {
                    addXp(*flea, body.amount);
                }
            } else if constexpr (std::is_same_v<Body, TroupeNodeUnlocked>) {
                TroupeFlea* flea = liveFlea(s, body.fleaId);
                if (flea && flea->unlockedNodeIds.insert(body.nodeId).second) {
                    flea->xp = std::max<std::int64_t>(0, troupe_ops::saturatingSub(flea->xp, body.xpCost));
                }
            } else if constexpr (std::is_same_v<Body, TroupeActAssigned>) {
                if (TroupeFlea* flea = liveFlea(s, body.fleaId)) flea->discoveredAct = body.actKey;
            } else if constexpr (std::is_same_v<Body, TroupeCumulativeStatTick>) {
                s.stats.apply(body.stat, body.delta);
            } else if constexpr (std::is_same_v<Body, TroupeMilestoneEarned>) {
                s.milestonesEarned.insert(body.milestoneId);
            } else if constexpr (std::is_same_v<Body, TroupeMilestoneAcknowledged>) {
                s.milestoneAcksByDevice[body.milestoneId].insert(body.ackDeviceId);
            } else if constexpr (std::is_same_v<Body, TroupeSurpriseEventFired>) {
                std::int64_t& count = s.surpriseEventsFired[body.eventKind];
                count = troupe_ops::saturatingAdd(count, 1);
            } else if constexpr (std::is_same_v<Body, TroupeSettingChanged>) {
                if (isTroupePortableSettingKey(body.key))
                    s.portableSettings.insert_or_assign(body.key, body.value);
            } else if constexpr (std::is_same_v<Body, TroupeDeviceSessionStart>) {
                TroupeDeviceSeen& device = deviceEntry(s, event, body.deviceKind, body.deviceName);
                device.deviceKind = body.deviceKind;
                if (body.deviceName) device.deviceName = body.deviceName;
                moveLastSeen(device, event.ts);
            } else if constexpr (std::is_same_v<Body, TroupeDeviceSessionEnd>) {
                TroupeDeviceSeen& device = deviceEntry(s, event, TroupeDeviceKind::iPhone, std::nullopt);
                moveLastSeen(device, event.ts);
            } else if constexpr (std::is_same_v<Body, TroupeLegacyStateSnapshot>) {
                TroupeFold::applyLegacy(body, s);
            } else if constexpr (std::is_same_v<Body, TroupeCheckpointPayload>) {
                if (!body.snapshotBlob) {
                    log::warning("Troupe checkpoint " + event.id.uuidString() +
                                 " carries no snapshot; skipped");
                    return;
                }
                replaceWith(*body.snapshotBlob);
            } else if constexpr (std::is_same_v<Body, TroupeFleaMessageFromUser>) {
                appendMessage(body.fleaId, TroupeMessageEntry{.id = body.messageId,
                                                              .speaker = Speaker::user,
                                                              .body = body.body,
                                                              .ts = event.ts,
                                                              .modelTier = std::nullopt,
                                                              .conversationId = body.conversationId});
            } else if constexpr (std::is_same_v<Body, TroupeFleaMessageFromFlea>) {
                appendMessage(body.fleaId, TroupeMessageEntry{.id = body.messageId,
                                                              .speaker = Speaker::flea,
                                                              .body = body.body,
                                                              .ts = event.ts,
                                                              .modelTier = body.modelTier,
                                                              .conversationId = body.conversationId});
            } else if constexpr (std::is_same_v<Body, TroupeLetterWritten>) {
                writeLetter(event, body);
            } else if constexpr (std::is_same_v<Body, TroupeLetterId>) {
                if (TroupeLetterEntry* letter = findLetter(body.letterId))
                    letter->readBy.insert(event.deviceId);
            } else if constexpr (std::is_same_v<Body, TroupeLetterAcknowledged>) {
                TroupeLetterEntry* letter = findLetter(body.letterId);
                if (letter && !letter->acknowledgedAt) letter->acknowledgedAt = event.ts;
            } else if constexpr (std::is_same_v<Body, TroupeConversationStarted>) {
                // Conversations exist through their messages.
            } else if constexpr (std::is_same_v<Body, TroupeAnniversaryTriggered>) {
                addAnniversary(event, body);
            } else {
                static_assert(sizeof(Body) == 0, "every payload kind needs a rule");
            }
        },
        event.payload.value);
}

// MARK: - Messages

void TroupeFoldSession::appendMessage(const Uuid& fleaId, TroupeMessageEntry entry) {
    auto [it, fresh] = messages_.try_emplace(fleaId);
    MessageIndex& index = it->second;
    if (fresh) {
        if (auto list = snapshot_.conversationsByFlea.find(fleaId);
            list != snapshot_.conversationsByFlea.end()) {
            for (const auto& message : list->second) index.ids.insert(message.id);
        }
    }
    if (!index.ids.insert(entry.id)) return;  // this flea already holds the message
    snapshot_.conversationsByFlea[fleaId].push_back(std::move(entry));
    index.appended = true;
}

// MARK: - Letters

TroupeFoldSession::LetterIndex& TroupeFoldSession::letterIndex(const Uuid& fleaId) {
    auto [it, fresh] = letters_.try_emplace(fleaId);
    if (fresh) indexFirstLetters(fleaId, it->second);
    return it->second;
}

// Which of several letters sharing an id a search meets first depends on the list's
// order: as stored until the flea gains a letter, then sorted by writtenAt (stably).
void TroupeFoldSession::indexFirstLetters(const Uuid& fleaId, LetterIndex& index) {
    index.firstById.clear();
    auto list = snapshot_.lettersByFlea.find(fleaId);
    if (list == snapshot_.lettersByFlea.end()) return;
    const auto& letters = list->second;
    for (std::size_t i = 0; i < letters.size(); ++i) {
        auto [slot, inserted] = index.firstById.try_emplace(letters[i].id, i);
        if (!inserted && index.appended &&
            troupe_ops::timeBefore(letters[i].writtenAt, letters[slot->second].writtenAt))
            slot->second = i;
    }
}

void TroupeFoldSession::writeLetter(const TroupeEvent& event, const TroupeLetterWritten& written) {
    LetterIndex& index = letterIndex(written.fleaId);
    if (index.firstById.contains(written.letterId)) return;
    auto& list = snapshot_.lettersByFlea[written.fleaId];
    if (!index.appended) {
        index.appended = true;
        indexFirstLetters(written.fleaId, index);  // the list now counts as sorted
    }
    index.firstById.emplace(written.letterId, list.size());
    list.push_back(TroupeLetterEntry{.id = written.letterId,
                                     .fleaId = written.fleaId,
                                     .body = written.body,
                                     .periodStart = written.periodStart,
                                     .periodEnd = written.periodEnd,
                                     .writtenAt = event.ts,
                                     .anniversaryKind = written.anniversaryKind});
    if (letterOwners_) {
        auto [owner, inserted] = letterOwners_->try_emplace(written.letterId, written.fleaId);
        if (!inserted && written.fleaId < owner->second) owner->second = written.fleaId;
    }
}

// Fleas are searched in ascending id order, each list in its own order.
TroupeLetterEntry* TroupeFoldSession::findLetter(const Uuid& letterId) {
    if (!letterOwners_) {
        letterOwners_.emplace();
        for (auto it = snapshot_.lettersByFlea.rbegin(); it != snapshot_.lettersByFlea.rend(); ++it) {
            for (const auto& letter : it->second) (*letterOwners_)[letter.id] = it->first;
        }
    }
    auto owner = letterOwners_->find(letterId);
    if (owner == letterOwners_->end()) return nullptr;
    LetterIndex& index = letterIndex(owner->second);
    auto position = index.firstById.find(letterId);
    if (position == index.firstById.end()) return nullptr;
    return &snapshot_.lettersByFlea[owner->second][position->second];
}

// MARK: - Anniversaries

void TroupeFoldSession::addAnniversary(const TroupeEvent& event,
                                       const TroupeAnniversaryTriggered& anniversary) {
    if (!anniversaryKeys_) {
        anniversaryKeys_.emplace();
        for (const auto& entry : snapshot_.anniversariesSeen)
            anniversaryKeys_->emplace(entry.fleaId, entry.kind);
    }
    if (!anniversaryKeys_->emplace(anniversary.fleaId, anniversary.anniversaryKind).second) return;
    snapshot_.anniversariesSeen.push_back(
        TroupeAnniversaryEntry{anniversary.fleaId, anniversary.anniversaryKind, event.ts});
    anniversariesAppended_ = true;
}

// MARK: - Checkpoints and the end of a session

void TroupeFoldSession::replaceWith(const TroupeSnapshot& blob) {
    snapshot_ = blob;
    messages_.clear();
    letters_.clear();
    letterOwners_.reset();
    anniversaryKeys_.reset();
    anniversariesAppended_ = false;
}

void TroupeFoldSession::finish() {
    for (const auto& [fleaId, index] : messages_) {
        if (!index.appended) continue;
        auto& list = snapshot_.conversationsByFlea[fleaId];
        std::stable_sort(list.begin(), list.end(),
                         [](const TroupeMessageEntry& a, const TroupeMessageEntry& b) {
                             return troupe_ops::timeThenIdBefore(a.ts, a.id, b.ts, b.id);
                         });
    }
    for (const auto& [fleaId, index] : letters_) {
        if (!index.appended) continue;
        auto& list = snapshot_.lettersByFlea[fleaId];
        std::stable_sort(list.begin(), list.end(),
                         [](const TroupeLetterEntry& a, const TroupeLetterEntry& b) {
                             return troupe_ops::timeBefore(a.writtenAt, b.writtenAt);
                         });
    }
    if (anniversariesAppended_) {
        std::stable_sort(snapshot_.anniversariesSeen.begin(), snapshot_.anniversariesSeen.end(),
                         [](const TroupeAnniversaryEntry& a, const TroupeAnniversaryEntry& b) {
                             return troupe_ops::timeThenIdBefore(a.firstSeenAt, a.fleaId, b.firstSeenAt,
                                                                 b.fleaId);
                         });
    }
    messages_.clear();
    letters_.clear();
    letterOwners_.reset();
    anniversaryKeys_.reset();
    anniversariesAppended_ = false;
}

}  // namespace tw
