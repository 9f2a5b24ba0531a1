#pragma once
// A parsed JSON document for reading: every value in one flat array, each object's
// members in document order with duplicate keys already resolved (the last value
// wins, the key keeps its first position), and large objects indexed by key. Building
// and every lookup take time linear (at worst n log n) in the input, whatever the
// number of keys, unlike an insertion-ordered nlohmann object, which searches its
// members on every insertion.
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

using Json = nlohmann::json;                 // key order: sorted
using OrderedJson = nlohmann::ordered_json;  // key order: insertion (declaration) order

enum class JsonType : std::uint8_t {
    null,
    boolean,
    integer,
    unsignedInteger,
    floating,
    string,
    array,
    object
};

// Far above any file this program reads; a larger input is refused before parsing.
constexpr std::size_t kJsonSizeLimit = std::size_t{64} << 20;
// Deeper documents are refused up front: copying, comparing and printing a value
// recurse once per level, so hostile nesting must never reach them.
constexpr int kJsonMaxNestingDepth = 512;

class JsonDocument {
   public:
    static constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

    struct Node {
        JsonType type = JsonType::null;
        std::uint32_t parent = kNone;    // the containing array or object
        std::uint32_t slot = 0;          // position among the parent's members or elements
        std::uint32_t first = 0;         // strings_ index, or first entry in members_
        std::uint32_t count = 0;         // members or elements
        std::uint32_t keyIndex = kNone;  // keyIndex_ offset of a large object
        union {
            bool boolean;
            std::int64_t integer;
            std::uint64_t unsignedInteger;
            double floating;
        };
        Node() : integer(0) {}
    };
    struct Member {
        std::uint32_t keyStart;  // offset in keyText_; unused in arrays
        std::uint32_t keySize;
        std::uint32_t value;
    };

    // A document holding a single null.
    JsonDocument();

    // Throws JsonDecodeError (dataCorrupted at the top level) on a syntax error, invalid
    // UTF-8, nesting deeper than kJsonMaxNestingDepth or text longer than sizeLimit.
    static JsonDocument parse(std::string_view text, std::size_t sizeLimit = kJsonSizeLimit);
    // A copy of an in-memory value.
    static JsonDocument of(const OrderedJson& value);

    OrderedJson toOrderedJson(std::uint32_t node = 0) const;

    const Node& node(std::uint32_t index) const { return nodes_[index]; }
    const Member& member(const Node& container, std::uint32_t position) const {
        return members_[container.first + position];
    }
    const std::string& text(std::uint32_t stringIndex) const { return strings_[stringIndex]; }
    std::string_view key(const Member& member) const {
        return std::string_view(keyText_).substr(member.keyStart, member.keySize);
    }
    // The member value for key, or kNone.
    std::uint32_t find(const Node& object, std::string_view key) const;

   private:
    friend class JsonDocumentBuilder;

    std::vector<Node> nodes_;
    std::vector<Member> members_;
    // Per large object, a header then member positions: a hash table of that size, or
    // (header 0) positions sorted by key when hostile keys collide too often to hash.
    std::vector<std::uint32_t> keyIndex_;
    std::string keyText_;               // every key back to back: one block, not one string each
    std::vector<std::string> strings_;  // string values; kept for reuse after clear
    std::uint32_t stringCount_ = 0;
};

// Builds a document from parse events in document order. Reusing one builder and
// document for many small inputs (restart() between them) reuses their memory.
class JsonDocumentBuilder {
   public:
    explicit JsonDocumentBuilder(JsonDocument& target);
    // Empties the target for the next document.
    void restart();

    void null();
    void boolean(bool value);
    void integer(std::int64_t value);
    void unsignedInteger(std::uint64_t value);
    void floating(double value);
    void string(std::string_view value);
    void key(std::string_view key);
    void beginObject();
    void endObject();
    void beginArray();
    void endArray();

   private:
    struct Frame {
        std::uint32_t node;
        bool object;
        std::size_t firstPending;
    };
    JsonDocument::Node& add(JsonType type);
    void open(JsonType type);
    void close();
    void resolveDuplicates(const Frame& frame);
    bool findDuplicatesByHash(std::size_t first, std::size_t count);
    void findDuplicatesBySorting(std::size_t first, std::size_t count);
    std::string_view keyOf(const JsonDocument::Member& member) const { return doc_.key(member); }

    JsonDocument& doc_;
    std::vector<Frame> frames_;
    std::vector<JsonDocument::Member> pending_;  // members of the open containers
    // Scratch for large objects, kept between them.
    std::vector<std::uint32_t> order_;
    std::vector<std::uint32_t> slots_;
    std::vector<std::uint32_t> position_;
    JsonDocument::Member key_{0, 0, JsonDocument::kNone};
};

// True when brackets outside strings nest deeper than kJsonMaxNestingDepth.
bool jsonNestingTooDeep(std::string_view text);
// Where a key starts its search in a large object's hash table (its low bits).
std::uint32_t jsonKeyHash(std::string_view key);

}  // namespace tw
