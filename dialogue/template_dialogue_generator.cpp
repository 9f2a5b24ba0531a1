#include "dialogue/template_dialogue_generator.h"

#include <algorithm>

#include "agent/split_mix64.h"
#include "dialogue/dialogue_cache.h"
#include "dialogue/template_dialogue_banks.h"
#include "platform/unicode.h"

namespace tw {

namespace {

// Every `token` becomes `value`, or `sentenceStart` where it begins a sentence: at the
// line's start or after ". ".
void replaceAll(std::string& text, std::string_view token, const std::string& value,
                const std::string& sentenceStart) {
    std::size_t at = 0;
    while ((at = text.find(token, at)) != std::string::npos) {
        const bool startsSentence = at == 0 || std::string_view(text).substr(0, at).ends_with(". ");
        const std::string& replacement = startsSentence ? sentenceStart : value;
        text.replace(at, token.size(), replacement);
        at += replacement.size();
    }
}

// "they", or a summary's first word, may be lower case.
std::string capitalised(const std::string& word) {
    const std::string first = unicode::graphemePrefix(word, 1);
    return unicode::uppercased(first) + word.substr(first.size());
}

std::string partnerName(const DialogueRequest& request) {
    for (const AgentMemory& memory : request.recent_memories) {
        if (memory.summary.empty()) continue;
        const std::string& summary = memory.summary;
        const std::size_t begin = summary.find_first_not_of(' ');
        if (begin == std::string::npos) return "they";  // only spaces
        const std::size_t end = summary.find(' ', begin);
        return summary.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    }
    return "they";
}

}  // namespace

std::string substituteTemplateTokens(const std::string& text, const DialogueRequest& request) {
    std::string out = text;
    replaceAll(out, "{flea}", request.voice_card.name, request.voice_card.name);
    if (out.find("{partner}") != std::string::npos) {
        const std::string partner = partnerName(request);
        replaceAll(out, "{partner}", partner, capitalised(partner));
    }
    return out;
}

TemplateDialogueGenerator::TemplateDialogueGenerator(StringHashFunction hash,
                                                     std::unique_ptr<SerialExecutor> executor)
    : hash_(std::move(hash)), executor_(std::move(executor)) {}

TemplateDialogueGenerator::~TemplateDialogueGenerator() { executor_->drain(); }

void TemplateDialogueGenerator::availability(AvailabilityCompletion done) {
    executor_->execute([done = std::move(done)] { done(FleaDialogueAvailability::available); });
}

void TemplateDialogueGenerator::generate(DialogueRequest request, LineCompletion done) {
    executor_->execute([this, request = std::move(request), done = std::move(done)] {
        done(GenerationOutcome::success(generateNow(request)));
    });
}

void TemplateDialogueGenerator::clearRing(std::optional<std::string> fleaID, std::function<void()> done) {
    executor_->execute([this, fleaID = std::move(fleaID), done = std::move(done)] {
        if (!fleaID) {
            recentRings_.clear();
        } else {
            const std::string prefix = *fleaID + ":";
            std::erase_if(recentRings_, [&](const auto& ring) {
                return ring.first.compare(0, prefix.size(), prefix) == 0;
            });
        }
        if (done) done();
    });
}

AgentDialogueLine TemplateDialogueGenerator::generateNow(const DialogueRequest& request) {
    const std::string ringKey = request.flea_id + ":" + request.outcome_kind;
    const std::string outcomeKey = unicode::lowercased(request.outcome_kind);
    const std::string residentKey = unicode::lowercased(request.voice_card.name) + "_" + outcomeKey;

    // Resident lines first, then the generic (or default) ones; both stay eligible.
    std::vector<const CandidateLine*> candidates;
    if (auto it = residentBank().find(residentKey); it != residentBank().end())
        for (const CandidateLine& line : it->second) candidates.push_back(&line);
    const auto generic = genericBank().find(outcomeKey);
    for (const CandidateLine& line :
         generic != genericBank().end() ? generic->second : defaultCandidateLines())
        candidates.push_back(&line);

    if (candidates.empty()) {
        return AgentDialogueLine{"...", AgentDialogueTone::cozy, std::nullopt,
                                 AgentDialogueGenerator::template_, DialogueCache::makeCacheKey(request)};
    }

    std::deque<std::size_t>& ring = recentRings_[ringKey];
    std::vector<std::size_t> fresh;
    for (std::size_t i = 0; i < candidates.size(); ++i)
        if (std::find(ring.begin(), ring.end(), i) == ring.end()) fresh.push_back(i);
    if (fresh.empty())
        for (std::size_t i = 0; i < candidates.size(); ++i) fresh.push_back(i);

    SplitMix64 rng(static_cast<std::uint64_t>(hash_(ringKey)) + request.seed);
    const std::size_t chosen = fresh[rng.next() % fresh.size()];

    ring.push_back(chosen);
    while (ring.size() > ringCapacity) ring.pop_front();

    std::optional<std::string> memoryID;
    if (!request.recent_memories.empty()) memoryID = request.recent_memories.front().id;
    return AgentDialogueLine{substituteTemplateTokens(candidates[chosen]->text, request),
                             candidates[chosen]->tone, std::move(memoryID), AgentDialogueGenerator::template_,
                             DialogueCache::makeCacheKey(request)};
}

}  // namespace tw
