#pragma once
// A flea the user made: its looks, its act, its XP and the tech-tree nodes it bought.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/date.h"
#include "platform/json.h"
#include "platform/uuid.h"

namespace tw {

struct MacCustomFlea {
    Uuid id;
    std::string name;
    std::int64_t bodyColorIndex = 0;  // position in the document's body palette; may lie outside it
    std::string hatKind;              // a MacFleaHatKind raw value, stored unchecked
    std::string discoveredAct;        // an act key, stored unchecked
    Date createdAt;
    std::int64_t xp = 0;
    std::vector<std::string> unlockedNodeIDs;  // in unlock order

    // A new flea: fresh id, created now, no XP, nothing unlocked.
    static MacCustomFlea create(std::string name, std::int64_t bodyColorIndex, std::string hatKind,
                                std::string discoveredAct, const Clock& clock);

    std::int64_t level() const;

    friend bool operator==(const MacCustomFlea&, const MacCustomFlea&) = default;
};

// JSON form: one object with exactly the eight field names as keys. Encoding throws
// JsonEncodeError for a non-finite createdAt; decoding throws JsonDecodeError for a
// missing key or a value of the wrong type, and ignores unknown keys.
OrderedJson encodeMacCustomFlea(const MacCustomFlea& flea);
MacCustomFlea decodeMacCustomFlea(const JsonReader& reader);
OrderedJson encodeMacCustomFleas(const std::vector<MacCustomFlea>& fleas);
// All or nothing: one unreadable element fails the whole list.
std::vector<MacCustomFlea> decodeMacCustomFleas(const JsonReader& reader);

}  // namespace tw

template <>
struct std::hash<tw::MacCustomFlea> {
    std::size_t operator()(const tw::MacCustomFlea& flea) const noexcept;
};
