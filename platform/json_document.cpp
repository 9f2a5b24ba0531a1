#include "platform/json_document.h"

#include <algorithm>

#include "platform/json.h"

namespace tw {

namespace {

// Objects up to this size resolve duplicates pairwise and are searched member by
// member; larger ones are sorted once and searched by halving.
constexpr std::size_t kSmallObject = 12;

// Feeds nlohmann's parser events into a builder. The parser validates exactly as its
// own tree parser does; only the tree it fills is ours.
class SaxToBuilder {
   public:
    explicit SaxToBuilder(JsonDocumentBuilder& builder) : builder_(builder) {}

    bool null() { return builder_.null(), true; }
    bool boolean(bool value) { return builder_.boolean(value), true; }
    bool number_integer(std::int64_t value) { return builder_.integer(value), true; }
    bool number_unsigned(std::uint64_t value) { return builder_.unsignedInteger(value), true; }
    bool number_float(double value, const std::string&) { return builder_.floating(value), true; }
    bool string(std::string& value) { return builder_.string(value), true; }
    bool binary(Json::binary_t&) { return builder_.null(), true; }
    bool start_object(std::size_t) { return builder_.beginObject(), true; }
    bool key(std::string& key) { return builder_.key(key), true; }
    bool end_object() { return builder_.endObject(), true; }
    bool start_array(std::size_t) { return builder_.beginArray(), true; }
    bool end_array() { return builder_.endArray(), true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
        throw JsonDecodeError(JsonErrorKind::dataCorrupted, "", error.what());
    }

   private:
    JsonDocumentBuilder& builder_;
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
    if (jsonNestingTooDeep(text)) {
        throw JsonDecodeError(JsonErrorKind::dataCorrupted, "",
                              "nesting deeper than " + std::to_string(kJsonMaxNestingDepth) + " levels");
    }
    JsonDocument document;
    JsonDocumentBuilder builder(document);
    SaxToBuilder sax(builder);
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
                members.emplace_back(strings_[m.key], toOrderedJson(m.value));
            }
            return out;
        }
    }
    return nullptr;
}

std::uint32_t JsonDocument::find(const Node& object, std::string_view key) const {
    if (object.sorted == kNone) {
        for (std::uint32_t i = 0; i < object.count; ++i) {
            const Member& m = member(object, i);
            if (strings_[m.key] == key) return m.value;
        }
        return kNone;
    }
    const auto* begin = keyIndex_.data() + object.sorted;
    const auto* end = begin + object.count;
    const auto* found =
        std::lower_bound(begin, end, key, [&](std::uint32_t position, std::string_view wanted) {
            return std::string_view(strings_[member(object, position).key]) < wanted;
        });
    if (found == end || strings_[member(object, *found).key] != key) return kNone;
    return member(object, *found).value;
}

// MARK: - JsonDocumentBuilder

JsonDocumentBuilder::JsonDocumentBuilder(JsonDocument& target) : doc_(target) { restart(); }

void JsonDocumentBuilder::restart() {
    doc_.nodes_.clear();
    doc_.members_.clear();
    doc_.keyIndex_.clear();
    doc_.stringCount_ = 0;
    frames_.clear();
    pending_.clear();
    key_ = JsonDocument::kNone;
}

std::uint32_t JsonDocumentBuilder::addString(std::string_view text) {
    auto& strings = doc_.strings_;
    if (doc_.stringCount_ < strings.size()) {
        strings[doc_.stringCount_].assign(text);
    } else {
        strings.emplace_back(text);
    }
    return doc_.stringCount_++;
}

JsonDocument::Node& JsonDocumentBuilder::add(JsonType type) {
    const auto index = static_cast<std::uint32_t>(doc_.nodes_.size());
    if (!frames_.empty()) {
        const bool inObject = doc_.nodes_[frames_.back().node].type == JsonType::object;
        pending_.push_back({inObject ? key_ : JsonDocument::kNone, index});
    }
    JsonDocument::Node& node = doc_.nodes_.emplace_back();
    node.type = type;
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
    const auto text = addString(value);
    add(JsonType::string).first = text;
}
void JsonDocumentBuilder::key(std::string_view key) { key_ = addString(key); }

void JsonDocumentBuilder::beginObject() {
    const auto index = static_cast<std::uint32_t>(doc_.nodes_.size());
    add(JsonType::object);
    frames_.push_back({index, pending_.size()});
}

void JsonDocumentBuilder::beginArray() {
    const auto index = static_cast<std::uint32_t>(doc_.nodes_.size());
    add(JsonType::array);
    frames_.push_back({index, pending_.size()});
}

void JsonDocumentBuilder::endObject() { close(); }
void JsonDocumentBuilder::endArray() { close(); }

void JsonDocumentBuilder::close() {
    const Frame frame = frames_.back();
    frames_.pop_back();
    if (doc_.nodes_[frame.node].type == JsonType::object) resolveDuplicates(frame);
    JsonDocument::Node& node = doc_.nodes_[frame.node];
    node.first = static_cast<std::uint32_t>(doc_.members_.size());
    node.count = static_cast<std::uint32_t>(pending_.size() - frame.firstPending);
    for (std::uint32_t i = 0; i < node.count; ++i) {
        const JsonDocument::Member& m = pending_[frame.firstPending + i];
        doc_.nodes_[m.value].parent = frame.node;
        doc_.nodes_[m.value].slot = i;
        doc_.members_.push_back(m);
    }
    pending_.resize(frame.firstPending);
}

// A repeated key keeps its first position and takes its last value.
void JsonDocumentBuilder::resolveDuplicates(const Frame& frame) {
    const std::size_t first = frame.firstPending;
    const std::size_t count = pending_.size() - first;
    const auto keyText = [this](std::uint32_t key) { return std::string_view(doc_.strings_[key]); };
    if (count <= kSmallObject) {
        std::size_t kept = first;
        for (std::size_t i = first; i < pending_.size(); ++i) {
            std::size_t j = first;
            while (j < kept && keyText(pending_[j].key) != keyText(pending_[i].key)) ++j;
            if (j < kept) {
                pending_[j].value = pending_[i].value;
            } else {
                pending_[kept++] = pending_[i];
            }
        }
        pending_.resize(kept);
        return;
    }
    // Sorting by key (stable, so equal keys stay in document order) groups duplicates.
    order_.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) order_[i] = i;
    std::stable_sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
        return keyText(pending_[first + a].key) < keyText(pending_[first + b].key);
    });
    // Mark the losers, move each winner's value to its first position.
    constexpr std::uint32_t kDropped = JsonDocument::kNone;
    std::size_t runs = 0;
    for (std::size_t a = 0; a < count;) {
        std::size_t b = a + 1;
        const auto key = keyText(pending_[first + order_[a]].key);
        while (b < count && keyText(pending_[first + order_[b]].key) == key) ++b;
        if (b - a > 1) {
            pending_[first + order_[a]].value = pending_[first + order_[b - 1]].value;
            for (std::size_t k = a + 1; k < b; ++k) pending_[first + order_[k]].value = kDropped;
        }
        order_[runs++] = order_[a];
        a = b;
    }
    // Compact in document order, then point the key index at the compacted positions.
    std::vector<std::uint32_t> position(count);
    std::size_t kept = first;
    for (std::size_t i = 0; i < count; ++i) {
        position[i] = static_cast<std::uint32_t>(kept - first);
        if (pending_[first + i].value != kDropped) pending_[kept++] = pending_[first + i];
    }
    pending_.resize(kept);
    doc_.nodes_[frame.node].sorted = static_cast<std::uint32_t>(doc_.keyIndex_.size());
    for (std::size_t r = 0; r < runs; ++r) doc_.keyIndex_.push_back(position[order_[r]]);
}

}  // namespace tw
