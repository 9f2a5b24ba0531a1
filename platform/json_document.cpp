#include "platform/json_document.h"

#include <algorithm>
#include <cstring>

#include "platform/json.h"

namespace tw {

namespace {

// Objects up to this size resolve duplicates pairwise and are searched member by
// member; larger ones are sorted once and searched by halving.
constexpr std::size_t kSmallObject = 12;

[[noreturn]] void refuseNesting() {
    throw JsonDecodeError(JsonErrorKind::dataCorrupted, "",
                          "nesting deeper than " + std::to_string(kJsonMaxNestingDepth) + " levels");
}

// Feeds nlohmann's parser events into a builder. The parser validates exactly as its
// own tree parser does; only the tree it fills is ours. Depth is counted here rather
// than in a pass of its own: a document too deep anywhere is refused as too deep even
// when its syntax breaks first, as if its brackets had been counted before parsing.
class SaxToBuilder {
   public:
    SaxToBuilder(JsonDocumentBuilder& builder, std::string_view text) : builder_(builder), text_(text) {}

    bool null() { return builder_.null(), true; }
    bool boolean(bool value) { return builder_.boolean(value), true; }
    bool number_integer(std::int64_t value) { return builder_.integer(value), true; }
    bool number_unsigned(std::uint64_t value) { return builder_.unsignedInteger(value), true; }
    bool number_float(double value, const std::string&) { return builder_.floating(value), true; }
    bool string(std::string& value) { return builder_.string(value), true; }
    bool binary(Json::binary_t&) { return builder_.null(), true; }
    bool start_object(std::size_t) { return enter(), builder_.beginObject(), true; }
    bool key(std::string& key) { return builder_.key(key), true; }
    bool end_object() { return --depth_, builder_.endObject(), true; }
    bool start_array(std::size_t) { return enter(), builder_.beginArray(), true; }
    bool end_array() { return --depth_, builder_.endArray(), true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
        if (jsonNestingTooDeep(text_)) refuseNesting();
        throw JsonDecodeError(JsonErrorKind::dataCorrupted, "", error.what());
    }

   private:
    void enter() {
        if (++depth_ > kJsonMaxNestingDepth) refuseNesting();
    }

    JsonDocumentBuilder& builder_;
    std::string_view text_;
    int depth_ = 0;
};

void emit(JsonDocumentBuilder& builder, const OrderedJson& value) {
    switch (value.type()) {
        case Json::value_t::object:
            builder.beginObject();
            for (auto it = value.begin(); it != value.end(); ++it) {
                builder.key(it.key());
                emit(builder, it.value());
            }
            builder.endObject();
            return;
        case Json::value_t::array:
            builder.beginArray();
            for (const auto& element : value) emit(builder, element);
            builder.endArray();
            return;
        case Json::value_t::string:
            builder.string(value.get_ref<const std::string&>());
            return;
        case Json::value_t::boolean:
            builder.boolean(value.get<bool>());
            return;
        case Json::value_t::number_integer:
            builder.integer(value.get<std::int64_t>());
            return;
        case Json::value_t::number_unsigned:
            builder.unsignedInteger(value.get<std::uint64_t>());
            return;
        case Json::value_t::number_float:
            builder.floating(value.get<double>());
            return;
        default:  // null, and the binary and discarded values no text can hold
            builder.null();
            return;
    }
}

}  // namespace

bool jsonNestingTooDeep(std::string_view text) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kJsonMaxNestingDepth) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

// Colliding keys only cost time, and only up to a budget (see findDuplicatesByHash).
std::uint32_t jsonKeyHash(std::string_view key) {
    constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    std::uint64_t hash = key.size() * kMultiplier;
    const auto mix = [&hash](std::uint64_t word) {
        hash = (hash ^ word) * 0xBF58476D1CE4E5B9ull;
        hash ^= hash >> 31;
    };
    std::size_t i = 0;
    for (; i + 8 <= key.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, key.data() + i, 8);
        mix(word);
    }
    if (i < key.size()) {
        std::uint64_t word = 0;
        std::memcpy(&word, key.data() + i, key.size() - i);
        mix(word);
    }
    hash *= kMultiplier;
    return static_cast<std::uint32_t>(hash >> 32);
}

// MARK: - JsonDocument

JsonDocument::JsonDocument() { nodes_.emplace_back(); }

JsonDocument JsonDocument::parse(std::string_view text, std::size_t sizeLimit) {
    // Node indices are 32 bits; every node takes at least one byte of text.
    sizeLimit = std::min<std::size_t>(sizeLimit, std::size_t{1} << 31);
    if (text.size() > sizeLimit) {
        throw JsonDecodeError(JsonErrorKind::dataCorrupted, "",
                              "document of " + std::to_string(text.size()) + " bytes is over the limit of " +
                                  std::to_string(sizeLimit) + " bytes");
    }
    JsonDocument document;
    JsonDocumentBuilder builder(document);
    SaxToBuilder sax(builder, text);
    Json::sax_parse(text.begin(), text.end(), &sax);
    return document;
}

JsonDocument JsonDocument::of(const OrderedJson& value) {
    JsonDocument document;
    JsonDocumentBuilder builder(document);
    emit(builder, value);
    return document;
}

OrderedJson JsonDocument::toOrderedJson(std::uint32_t index) const {
    const Node& n = nodes_[index];
    switch (n.type) {
        case JsonType::null:
            return nullptr;
        case JsonType::boolean:
            return n.boolean;
        case JsonType::integer:
            return n.integer;
        case JsonType::unsignedInteger:
            return n.unsignedInteger;
        case JsonType::floating:
            return n.floating;
        case JsonType::string:
            return strings_[n.first];
        case JsonType::array: {
            OrderedJson out = OrderedJson::array();
            out.get_ref<OrderedJson::array_t&>().reserve(n.count);
            for (std::uint32_t i = 0; i < n.count; ++i) out.push_back(toOrderedJson(member(n, i).value));
            return out;
        }
        case JsonType::object: {
            OrderedJson out = OrderedJson::object();
            // Keys are already distinct: append without the ordered map's search.
            auto& members = out.get_ref<OrderedJson::object_t&>();
            members.reserve(n.count);
            for (std::uint32_t i = 0; i < n.count; ++i) {
                const Member& m = member(n, i);
                members.emplace_back(std::string(key(m)), toOrderedJson(m.value));
            }
            return out;
        }
    }
    return nullptr;
}

std::uint32_t JsonDocument::find(const Node& object, std::string_view wanted) const {
    if (object.keyIndex == kNone) {
        for (std::uint32_t i = 0; i < object.count; ++i) {
            const Member& m = member(object, i);
            if (key(m) == wanted) return m.value;
        }
        return kNone;
    }
    const std::uint32_t* index = keyIndex_.data() + object.keyIndex;
    const std::uint32_t tableSize = *index++;
    if (tableSize == 0) {
        const auto* end = index + object.count;
        const auto* found = std::lower_bound(
            index, end, wanted,
            [&](std::uint32_t position, std::string_view k) { return key(member(object, position)) < k; });
        if (found == end || key(member(object, *found)) != wanted) return kNone;
        return member(object, *found).value;
    }
    // The table is at most half full, so every probe ends at an empty slot.
    for (std::uint32_t slot = jsonKeyHash(wanted) & (tableSize - 1); index[slot] != kNone;
         slot = (slot + 1) & (tableSize - 1)) {
        const Member& m = member(object, index[slot]);
        if (key(m) == wanted) return m.value;
    }
    return kNone;
}

// MARK: - JsonDocumentBuilder

JsonDocumentBuilder::JsonDocumentBuilder(JsonDocument& target) : doc_(target) { restart(); }

void JsonDocumentBuilder::restart() {
    doc_.nodes_.clear();
    doc_.members_.clear();
    doc_.keyIndex_.clear();
    doc_.keyText_.clear();
    doc_.stringCount_ = 0;
    frames_.clear();
    pending_.clear();
    key_ = {0, 0, JsonDocument::kNone};
}

JsonDocument::Node& JsonDocumentBuilder::add(JsonType type) {
    const auto index = static_cast<std::uint32_t>(doc_.nodes_.size());
    JsonDocument::Node& node = doc_.nodes_.emplace_back();
    node.type = type;
    if (!frames_.empty()) {
        // Parent and slot hold unless a repeated key moves members (see close).
        const Frame& frame = frames_.back();
        node.parent = frame.node;
        node.slot = static_cast<std::uint32_t>(pending_.size() - frame.firstPending);
        if (frame.object) {
            pending_.push_back({key_.keyStart, key_.keySize, index});
        } else {
            pending_.push_back({0, 0, index});
        }
    }
    return node;
}

void JsonDocumentBuilder::null() { add(JsonType::null); }
void JsonDocumentBuilder::boolean(bool value) { add(JsonType::boolean).boolean = value; }
void JsonDocumentBuilder::integer(std::int64_t value) { add(JsonType::integer).integer = value; }
void JsonDocumentBuilder::unsignedInteger(std::uint64_t value) {
    add(JsonType::unsignedInteger).unsignedInteger = value;
}
void JsonDocumentBuilder::floating(double value) { add(JsonType::floating).floating = value; }

void JsonDocumentBuilder::string(std::string_view value) {
    auto& strings = doc_.strings_;
    if (doc_.stringCount_ < strings.size()) {
        strings[doc_.stringCount_].assign(value);
    } else {
        strings.emplace_back(value);
    }
    add(JsonType::string).first = doc_.stringCount_++;
}

void JsonDocumentBuilder::key(std::string_view key) {
    key_.keyStart = static_cast<std::uint32_t>(doc_.keyText_.size());
    key_.keySize = static_cast<std::uint32_t>(key.size());
    doc_.keyText_.append(key);
}

void JsonDocumentBuilder::open(JsonType type) {
    const auto index = static_cast<std::uint32_t>(doc_.nodes_.size());
    add(type);
    frames_.push_back({index, type == JsonType::object, pending_.size()});
}

void JsonDocumentBuilder::beginObject() { open(JsonType::object); }
void JsonDocumentBuilder::beginArray() { open(JsonType::array); }
void JsonDocumentBuilder::endObject() { close(); }
void JsonDocumentBuilder::endArray() { close(); }

void JsonDocumentBuilder::close() {
    const Frame frame = frames_.back();
    frames_.pop_back();
    const std::size_t added = pending_.size() - frame.firstPending;
    if (frame.object) resolveDuplicates(frame);
    const auto begin = pending_.begin() + static_cast<std::ptrdiff_t>(frame.firstPending);
    JsonDocument::Node& node = doc_.nodes_[frame.node];
    node.first = static_cast<std::uint32_t>(doc_.members_.size());
    node.count = static_cast<std::uint32_t>(pending_.end() - begin);
    if (node.count != added) {
        for (std::uint32_t i = 0; i < node.count; ++i) doc_.nodes_[begin[i].value].slot = i;
    }
    doc_.members_.insert(doc_.members_.end(), begin, pending_.end());
    pending_.erase(begin, pending_.end());
}

// A repeated key keeps its first position and takes its last value.
void JsonDocumentBuilder::resolveDuplicates(const Frame& frame) {
    const std::size_t first = frame.firstPending;
    const std::size_t count = pending_.size() - first;
    if (count <= kSmallObject) {
        std::size_t kept = first;
        for (std::size_t i = first; i < pending_.size(); ++i) {
            std::size_t j = first;
            while (j < kept && keyOf(pending_[j]) != keyOf(pending_[i])) ++j;
            if (j < kept) {
                pending_[j].value = pending_[i].value;
            } else {
                pending_[kept++] = pending_[i];
            }
        }
        pending_.resize(kept);
        return;
    }
    // Either way: order_[i] is the first member with member i's key, and slots_ an
    // index of those first members (slots_[0] its header, as in keyIndex_).
    if (!findDuplicatesByHash(first, count)) findDuplicatesBySorting(first, count);
    // The last value goes to the first position; compact in document order.
    constexpr std::uint32_t kDropped = JsonDocument::kNone;
    position_.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (order_[i] == i) continue;
        pending_[first + order_[i]].value = pending_[first + i].value;
        pending_[first + i].value = kDropped;
    }
    std::size_t kept = first;
    for (std::size_t i = 0; i < count; ++i) {
        position_[i] = static_cast<std::uint32_t>(kept - first);
        if (pending_[first + i].value != kDropped) pending_[kept++] = pending_[first + i];
    }
    pending_.resize(kept);
    // Point the index at the compacted positions.
    auto& keyIndex = doc_.keyIndex_;
    doc_.nodes_[frame.node].keyIndex = static_cast<std::uint32_t>(keyIndex.size());
    keyIndex.push_back(slots_[0]);
    for (std::size_t s = 1; s < slots_.size(); ++s)
        keyIndex.push_back(slots_[s] == JsonDocument::kNone ? JsonDocument::kNone : position_[slots_[s]]);
}

// Linear probing in a table at most half full. Keys made to collide could make this
// quadratic, so past a budget of probes it gives up (false) and sorting takes over.
bool JsonDocumentBuilder::findDuplicatesByHash(std::size_t first, std::size_t count) {
    std::uint32_t tableSize = 16;
    while (tableSize < 2 * count) tableSize *= 2;
    slots_.assign(std::size_t{tableSize} + 1, JsonDocument::kNone);
    slots_[0] = tableSize;
    std::uint32_t* table = slots_.data() + 1;
    order_.resize(count);
    std::size_t budget = 8 * count;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string_view key = keyOf(pending_[first + i]);
        for (std::uint32_t slot = jsonKeyHash(key) & (tableSize - 1);; slot = (slot + 1) & (tableSize - 1)) {
            if (table[slot] == JsonDocument::kNone) {
                table[slot] = i;
                order_[i] = i;
                break;
            }
            if (keyOf(pending_[first + table[slot]]) == key) {
                order_[i] = table[slot];
                break;
            }
            if (budget-- == 0) return false;
        }
    }
    return true;
}

void JsonDocumentBuilder::findDuplicatesBySorting(std::size_t first, std::size_t count) {
    // Stable, so equal keys stay in document order and the first of each run comes first.
    slots_.resize(count + 1);
    slots_[0] = 0;
    std::uint32_t* sorted = slots_.data() + 1;
    for (std::uint32_t i = 0; i < count; ++i) sorted[i] = i;
    std::stable_sort(sorted, sorted + count, [&](std::uint32_t a, std::uint32_t b) {
        return keyOf(pending_[first + a]) < keyOf(pending_[first + b]);
    });
    order_.resize(count);
    std::size_t runs = 0;
    for (std::size_t a = 0; a < count;) {
        const std::uint32_t head = sorted[a];
        const auto key = keyOf(pending_[first + head]);
        std::size_t b = a;
        while (b < count && keyOf(pending_[first + sorted[b]]) == key) order_[sorted[b++]] = head;
        sorted[runs++] = head;
        a = b;
    }
    slots_.resize(runs + 1);
}

}  // namespace tw
