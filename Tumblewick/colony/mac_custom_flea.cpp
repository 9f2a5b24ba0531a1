#include "Tumblewick/colony/mac_custom_flea.h"

#include <functional>

#include "Tumblewick/colony/mac_flea_levels.h"

namespace tw {

MacCustomFlea MacCustomFlea::create(std::string name, std::int64_t bodyColorIndex, std::string hatKind,
                                    std::string discoveredAct, const Clock& clock) {
    MacCustomFlea flea;
    flea.id = Uuid::random();
    flea.name = std::move(name);
    flea.bodyColorIndex = bodyColorIndex;
    flea.hatKind = std::move(hatKind);
    flea.discoveredAct = std::move(discoveredAct);
    flea.createdAt = clock.now();
    return flea;
}

std::int64_t MacCustomFlea::level() const { return MacFleaLevels::level(xp); }

OrderedJson encodeMacCustomFlea(const MacCustomFlea& flea) {
    OrderedJson object = OrderedJson::object();
    object["id"] = flea.id.uuidString();
    object["name"] = flea.name;
    object["bodyColorIndex"] = flea.bodyColorIndex;
    object["hatKind"] = flea.hatKind;
    object["discoveredAct"] = flea.discoveredAct;
    object["createdAt"] = finiteJson(flea.createdAt.seconds, "createdAt");
    object["xp"] = flea.xp;
    OrderedJson nodes = OrderedJson::array();
    for (const auto& node : flea.unlockedNodeIDs) nodes.push_back(node);
    object["unlockedNodeIDs"] = std::move(nodes);
    return object;
}

MacCustomFlea decodeMacCustomFlea(const JsonReader& reader) {
    if (!reader.isObject()) reader.fail(JsonErrorKind::typeMismatch, "expected an object");
    MacCustomFlea flea;
    flea.id = reader["id"].uuid();
    flea.name = reader["name"].string();
    flea.bodyColorIndex = reader["bodyColorIndex"].int64();
    flea.hatKind = reader["hatKind"].string();
    flea.discoveredAct = reader["discoveredAct"].string();
    flea.createdAt = reader["createdAt"].referenceDate();
    flea.xp = reader["xp"].int64();
    for (const auto& element : reader["unlockedNodeIDs"].elements()) {
        flea.unlockedNodeIDs.push_back(element.string());
    }
    return flea;
}

OrderedJson encodeMacCustomFleas(const std::vector<MacCustomFlea>& fleas) {
    OrderedJson array = OrderedJson::array();
    for (const auto& flea : fleas) array.push_back(encodeMacCustomFlea(flea));
    return array;
}

std::vector<MacCustomFlea> decodeMacCustomFleas(const JsonReader& reader) {
    std::vector<MacCustomFlea> fleas;
    for (const auto& element : reader.elements()) fleas.push_back(decodeMacCustomFlea(element));
    return fleas;
}

}  // namespace tw

std::size_t std::hash<tw::MacCustomFlea>::operator()(const tw::MacCustomFlea& flea) const noexcept {
    std::size_t seed = 0;
    auto combine = [&seed](std::size_t h) { seed ^= h + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2); };
    combine(std::hash<tw::Uuid>{}(flea.id));
    combine(std::hash<std::string>{}(flea.name));
    combine(std::hash<std::int64_t>{}(flea.bodyColorIndex));
    combine(std::hash<std::string>{}(flea.hatKind));
    combine(std::hash<std::string>{}(flea.discoveredAct));
    combine(std::hash<double>{}(flea.createdAt.seconds));
    combine(std::hash<std::int64_t>{}(flea.xp));
    combine(std::hash<std::size_t>{}(flea.unlockedNodeIDs.size()));
    for (const auto& node : flea.unlockedNodeIDs) combine(std::hash<std::string>{}(node));
    return seed;
}
