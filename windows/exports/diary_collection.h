#pragma once
// Today's diary lines of the seven residents, asked for all at once with a short,
// bounded wait: an export may hold the main thread at most that long for them.
#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/resident_roster.h"
#include "dialogue/dialogue_channel_store.h"
#include "platform/calendar.h"
#include "platform/date.h"
#include "windows/exports/chapter_document.h"

namespace tw {

// Asks for one flea's diary-channel entries of the calendar day holding `on`. Must
// not block: the answer comes later, on any thread, or never.
using DiaryLineSource = std::function<void(const std::string& flea, Date on, Calendar calendar,
                                           std::function<void(DialogueChannelStore::Entries)> answer)>;

// The residents are asked in their listed order (residentsListed); custom fleas keep
// no diary here.
inline constexpr double kDiaryWaitSeconds = 0.2;

// Issues the seven requests, waits until all have answered or `waitSeconds` have
// passed, and returns what arrived, sorted by time (stable: equal times keep the
// order they were pooled in). Answers after the wait are dropped. A request that
// throws counts as answered with nothing.
std::vector<ChapterDiaryEntry> collectDiaryEntries(const DiaryLineSource& source, Date now,
                                                   const Calendar& calendar,
                                                   double waitSeconds = kDiaryWaitSeconds);

// The channel store's own diary query as a source.
DiaryLineSource diaryLineSource(DialogueChannelStore& store);

}  // namespace tw
