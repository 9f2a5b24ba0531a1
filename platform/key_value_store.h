#pragma once
// The cloud key-value store, read only: values that something outside the app
// publishes, and a signal when they change from outside. On this desktop it is one
// JSON object in a file (see platform/qt/qt_key_value_store.h).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace tw {

// One store's values. Anything that is neither text nor a 64-bit integer is kept as
// "other", so it reads as absent text and as 0.
struct KeyValues {
    struct Other {
        friend bool operator==(const Other&, const Other&) = default;
    };
    using Value = std::variant<Other, std::int64_t, std::string>;
    std::map<std::string, Value> values;

    std::optional<std::string> string(const std::string& key) const;
    std::int64_t longLong(const std::string& key) const;  // absent or not an integer: 0
    friend bool operator==(const KeyValues&, const KeyValues&) = default;
};

// The file's text as one JSON object; throws JsonDecodeError on anything else.
KeyValues parseKeyValues(std::string_view text);

// One read of the store's file. Nothing is logged: a caller that reads again and again
// says each distinct problem once.
struct KeyValuesFile {
    enum class Status { ok, missing, unusable };
    Status status = Status::missing;
    KeyValues values;             // when ok
    std::string problem;          // when unusable: what is wrong, for a log line
    std::size_t fingerprint = 0;  // when unusable: differs between different problems or contents
};
KeyValuesFile readKeyValuesFile(const std::filesystem::path& file);

// Reads the store's file. A missing file is an empty store; a file that cannot be read
// or parsed is an empty store with a log line, and is left as it is.
KeyValues loadKeyValuesFile(const std::filesystem::path& file);

class KeyValueStore {
   public:
    using Token = std::uint64_t;
    virtual ~KeyValueStore() = default;

    virtual std::optional<std::string> stringForKey(const std::string& key) const = 0;
    virtual std::int64_t longLongForKey(const std::string& key) const = 0;
    // Catches up with the backing store now.
    virtual void synchronize() = 0;
    // Called on the main thread after values changed from outside.
    virtual Token observeExternalChanges(std::function<void()> observer) = 0;
    virtual void removeObserver(Token token) = 0;
};

}  // namespace tw
