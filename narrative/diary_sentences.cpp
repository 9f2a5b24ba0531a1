// The troupe's diary: one list of sentences per calendar day.
#include <algorithm>

#include "narrative/flea_narrative_engine.h"
#include "narrative/narrative_tables.h"
#include "platform/log.h"
#include "platform/unicode.h"

namespace tw {

std::string FleaNarrativeEngine::appendDiarySentence(const std::string& sentence, FleaNarrativeState& state,
                                                     Date at, const Calendar& calendar) {
    std::string trimmed = unicode::trimmed(sentence);
    if (trimmed.empty()) return "";
    // The calendar's own zone decides the day, so a 25-hour day is still one key.
    return fileDiarySentence(std::move(trimmed), calendar.dayKey(at), state);
}

std::string FleaNarrativeEngine::fileDiarySentence(std::string trimmed, std::string dayKey,
                                                   FleaNarrativeState& state) {
    // A moment the calendar cannot place (NaN, infinite) has no day: filing it under ""
    // would invent a day nobody can ask for, and "" already means a blank sentence.
    if (dayKey.empty()) {
        log::warning("Diary sentence not filed: its moment lies on no calendar day");
        return "";
    }
    std::vector<std::string>& day = state.diaryByDay[dayKey];
    const std::size_t recent = std::min<std::size_t>(5, day.size());
    if (std::find(day.end() - static_cast<std::ptrdiff_t>(recent), day.end(), trimmed) != day.end())
        return dayKey;

    day.push_back(std::move(trimmed));
    keepLast(day, maxDiarySentencesPerDay);
    return dayKey;
}

std::string FleaNarrativeEngine::diaryVerb(FleaOutcome outcome) {
    return std::string(narrative_tables::diaryVerb(outcome));
}

}  // namespace tw
