#include "Tumblewick/colony/progression_loader.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <system_error>

#include "Tumblewick/colony/mac_flea_levels.h"
#include "platform/atomic_file.h"
#include "platform/json.h"

#ifndef TW_BUILD_RESOURCE_DIR
#define TW_BUILD_RESOURCE_DIR ""
#endif

namespace tw {
namespace {

constexpr const char* kFileName = "flea_progression.json";

// Each getter answers nullopt for an absent key or a value of another type.
const OrderedJson* member(const OrderedJson& object, const char* key) {
    if (!object.is_object()) return nullptr;
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::optional<std::int64_t> asInteger(const OrderedJson& v) {
    if (v.is_number_unsigned()) {
        const auto u = v.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        return static_cast<std::int64_t>(u);
    }
    if (v.is_number_integer()) return v.get<std::int64_t>();
    if (v.is_number_float()) {
        const double d = v.get<double>();
        // A whole value inside int64 reads as that integer (10.0 is 10); 2^63 is outside.
        // -2^63 is refused too: an integer token just below int64 also parses to that
        // double, and such a token must not pass for the smallest int64.
        constexpr double kLimit = 9223372036854775808.0;
        if (std::isfinite(d) && d == std::trunc(d) && d > -kLimit && d < kLimit) {
            return static_cast<std::int64_t>(d);
        }
    }
    return std::nullopt;
}

std::optional<std::string> stringAt(const OrderedJson& object, const char* key) {
    const auto* v = member(object, key);
    if (v == nullptr || !v->is_string()) return std::nullopt;
    return v->get<std::string>();
}

std::optional<std::int64_t> integerAt(const OrderedJson& object, const char* key) {
    const auto* v = member(object, key);
    return v == nullptr ? std::nullopt : asInteger(*v);
}

std::optional<bool> booleanAt(const OrderedJson& object, const char* key) {
    const auto* v = member(object, key);
    if (v == nullptr || !v->is_boolean()) return std::nullopt;
    return v->get<bool>();
}

const OrderedJson* objectAt(const OrderedJson& object, const char* key) {
    const auto* v = member(object, key);
    return v != nullptr && v->is_object() ? v : nullptr;
}

// An array is taken only when every element has the expected type.
template <typename Predicate>
const OrderedJson* arrayAt(const OrderedJson& object, const char* key, Predicate elementOK) {
    const auto* v = member(object, key);
    if (v == nullptr || !v->is_array()) return nullptr;
    for (const auto& element : *v) {
        if (!elementOK(element)) return nullptr;
    }
    return v;
}

const OrderedJson* objectArrayAt(const OrderedJson& object, const char* key) {
    return arrayAt(object, key, [](const OrderedJson& e) { return e.is_object(); });
}

std::optional<std::vector<std::string>> stringsAt(const OrderedJson& object, const char* key) {
    const auto* v = arrayAt(object, key, [](const OrderedJson& e) { return e.is_string(); });
    if (v == nullptr) return std::nullopt;
    std::vector<std::string> out;
    for (const auto& e : *v) out.push_back(e.get<std::string>());
    return out;
}

std::optional<std::vector<double>> numbersAt(const OrderedJson& object, const char* key) {
    const auto* v = arrayAt(object, key, [](const OrderedJson& e) { return e.is_number(); });
    if (v == nullptr) return std::nullopt;
    std::vector<double> out;
    for (const auto& e : *v) out.push_back(e.get<double>());
    return out;
}

std::optional<std::vector<std::int64_t>> integersAt(const OrderedJson& object, const char* key) {
    const auto* v = arrayAt(object, key, [](const OrderedJson& e) { return asInteger(e).has_value(); });
    if (v == nullptr) return std::nullopt;
    std::vector<std::int64_t> out;
    for (const auto& e : *v) out.push_back(*asInteger(e));
    return out;
}

ProgressionSpec::BodyColor readBodyColor(const OrderedJson& o) {
    ProgressionSpec::BodyColor color;
    color.name = stringAt(o, "name").value_or("");
    color.bodyRGB = numbersAt(o, "bodyRGB").value_or(std::vector<double>{0.18, 0.09, 0.06});
    color.headRGB = numbersAt(o, "headRGB").value_or(std::vector<double>{0.29, 0.19, 0.13});
    return color;
}

ProgressionSpec::HatKind readHatKind(const OrderedJson& o) {
    ProgressionSpec::HatKind hat;
    hat.id = stringAt(o, "id").value_or("none");
    hat.label = stringAt(o, "label").value_or("");
    return hat;
}

ProgressionSpec::TechNode readTechNode(const OrderedJson& o) {
    ProgressionSpec::TechNode node;
    node.id = stringAt(o, "id").value_or("");
    node.title = stringAt(o, "title").value_or("");
    node.description = stringAt(o, "description").value_or("");
    node.cost = integerAt(o, "cost").value_or(0);
    node.tier = integerAt(o, "tier").value_or(1);
    node.branch = stringAt(o, "branch");
    node.prerequisites = stringsAt(o, "prerequisites").value_or(std::vector<std::string>{});
    if (const auto* effect = objectAt(o, "effect")) {
        node.effectType = stringAt(*effect, "type").value_or("none");
        node.effectValue = stringAt(*effect, "value");
        node.effectRGB = numbersAt(*effect, "rgb");
    }
    return node;
}

ProgressionSpec::Action readAction(const OrderedJson& o, const std::string& defaultEmoji,
                                   bool defaultWindsUp) {
    ProgressionSpec::Action action;
    action.id = stringAt(o, "id").value_or("");
    action.emoji = stringAt(o, "emoji").value_or(defaultEmoji);
    action.label = stringAt(o, "label").value_or("");
    action.reaction = stringAt(o, "reaction").value_or("");
    action.windsUp = booleanAt(o, "windsUp").value_or(defaultWindsUp);
    return action;
}

ProgressionSpec::ActSpec readAct(const std::string& key, const OrderedJson& o) {
    ProgressionSpec::ActSpec act;
    act.callingName = stringAt(o, "callingName").value_or(key);
    act.emoji = stringAt(o, "emoji").value_or("\U0001F3AA");
    if (const auto* tree = objectArrayAt(o, "techTree")) {
        for (const auto& node : *tree) act.techTree.push_back(readTechNode(node));
    }
    if (const auto* actions = objectArrayAt(o, "actions")) {
        for (const auto& a : *actions) act.actions.push_back(readAction(a, "", false));
    }
    if (const auto* signature = objectAt(o, "signatureAction")) {
        act.signatureAction = readAction(*signature, "\u2B50", true);
    }
    return act;
}

std::filesystem::path executableDirectory() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe.parent_path();
}

}  // namespace

ProgressionSpec readProgressionSpec(std::string_view text) {
    if (text.size() > kProgressionDocumentLimit) return ProgressionSpec();
    OrderedJson root;
    try {
        root = parseJson(text);
    } catch (const JsonDecodeError&) {
        return ProgressionSpec();
    }
    if (!root.is_object()) return ProgressionSpec();

    ProgressionSpec spec;
    if (const auto* levels = objectAt(root, "levels")) {
        if (auto thresholds = integersAt(*levels, "thresholds")) {
            spec.levelThresholds = *thresholds;
            MacFleaLevels::thresholds() = std::move(*thresholds);
        }
    }
    if (const auto* palette = objectArrayAt(root, "bodyPalette")) {
        for (const auto& entry : *palette) spec.bodyPalette.push_back(readBodyColor(entry));
    }
    if (const auto* hats = objectArrayAt(root, "hatKinds")) {
        for (const auto& entry : *hats) spec.hatKinds.push_back(readHatKind(entry));
    }
    if (const auto* acts = objectAt(root, "acts")) {
        bool allObjects = true;
        for (const auto& [key, value] : acts->items()) allObjects = allObjects && value.is_object();
        if (allObjects) {
            for (const auto& [key, value] : acts->items()) spec.acts[key] = readAct(key, value);
        }
    }
    spec.propKinds = stringsAt(root, "propKinds").value_or(std::vector<std::string>{});
    return spec;
}

ProgressionSpec loadProgressionSpec(const std::vector<std::filesystem::path>& candidates) {
    for (const auto& candidate : candidates) {
        atomic_file::ReadResult file = atomic_file::read(candidate, kProgressionDocumentLimit);
        switch (file.status) {
            case atomic_file::ReadStatus::ok:
                return readProgressionSpec(file.text);
            case atomic_file::ReadStatus::tooLarge:
                return ProgressionSpec();  // the document is there: no later one stands in for it
            case atomic_file::ReadStatus::missing:
            case atomic_file::ReadStatus::notAFile:
            case atomic_file::ReadStatus::failed:
                break;
        }
    }
    return ProgressionSpec();
}

ProgressionSpec loadProgressionSpec() { return loadProgressionSpec(progressionDocumentCandidates()); }

std::vector<std::filesystem::path> progressionDocumentCandidates() {
    std::vector<std::filesystem::path> candidates;
    if (const char* dir = std::getenv("TW_RESOURCE_DIR"); dir != nullptr && *dir != '\0') {
        candidates.push_back(std::filesystem::path(dir) / kFileName);
    }
    if (const auto exeDir = executableDirectory(); !exeDir.empty()) {
        candidates.push_back(exeDir / ".." / "share" / "tumblewick" / kFileName);
        candidates.push_back(exeDir / "resources" / kFileName);
    }
    if (std::string_view(TW_BUILD_RESOURCE_DIR).size() > 0) {
        candidates.push_back(std::filesystem::path(TW_BUILD_RESOURCE_DIR) / kFileName);
    }
    candidates.push_back(std::filesystem::path("shared") / kFileName);
    return candidates;
}

std::optional<ProgressionSpec>& progressionSpec() {
    static std::optional<ProgressionSpec> cache;
    return cache;
}

}  // namespace tw
