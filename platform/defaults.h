#pragma once
// User defaults: typed key-value suites. The standard suite and named app-group
// suites are each one JSON file; reads follow the rules the app's behaviour was
// written against (bool of a stored string or number, double of a missing key is 0).
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/date.h"

namespace tw {

struct DefaultsData {
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const DefaultsData&, const DefaultsData&) = default;
};

using DefaultsValue = std::variant<bool, std::int64_t, double, std::string, Date, DefaultsData>;

class Defaults {
   public:
    virtual ~Defaults() = default;

    // Raw access.
    virtual std::optional<DefaultsValue> object(const std::string& key) const = 0;
    virtual void set(const std::string& key, DefaultsValue value) = 0;
    virtual void remove(const std::string& key) = 0;
    // Makes every change so far durable before returning (true on success).
    virtual bool flush() = 0;
    // A key can hold a value this suite could not read (a corrupt or newer entry): object()
    // does not see it, yet it is kept as it was, so a caller about to replace the key can
    // first move it aside verbatim. The move is false when `from` holds no such value.
    virtual bool hasUnreadableValue(const std::string& key) const = 0;
    virtual bool moveUnreadableValue(const std::string& from, const std::string& to) = 0;

    // Typed reads.
    // bool: a bool as is; a number is true when non-zero; a string is true for
    // "YES"/"yes"/"true"/"TRUE"/"1" style values (case-insensitive "yes", "true",
    // or an integer text other than 0); anything else or absent is false.
    bool boolForKey(const std::string& key) const;
    // integer: ints as is, doubles truncated, numeric strings parsed; else 0.
    std::int64_t integerForKey(const std::string& key) const;
    // double: numbers, numeric strings; else 0.
    double doubleForKey(const std::string& key) const;
    // string: strings; numbers as their text; else nullopt.
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::optional<DefaultsData> dataForKey(const std::string& key) const;
    std::optional<Date> dateForKey(const std::string& key) const;
    bool hasKey(const std::string& key) const { return object(key).has_value(); }

    // Convenience writers.
    void setBool(const std::string& key, bool v) { set(key, DefaultsValue{v}); }
    void setInteger(const std::string& key, std::int64_t v) { set(key, DefaultsValue{v}); }
    void setDouble(const std::string& key, double v) { set(key, DefaultsValue{v}); }
    void setString(const std::string& key, std::string v) { set(key, DefaultsValue{std::move(v)}); }
    void setDate(const std::string& key, Date v) { set(key, DefaultsValue{v}); }
    void setData(const std::string& key, std::string bytes);  // stores the bytes as data
    std::optional<std::string> dataStringForKey(const std::string& key) const;
};

// Keeps values in memory behind a mutex; backed by a JSON file written atomically
// (temp file + rename) by a writer thread that coalesces changes within
// `coalesceSeconds`. A file that cannot be parsed, or is over the size limit, is moved
// aside to "<name>.corrupt-<unix time>" with a log line and the suite starts empty.
// A file that exists but cannot be read (a FIFO, device, link to nothing or loop of
// links included) makes the suite read-only for this run (a read error is not
// "absent": nothing is overwritten). A link to a settings file, as a folder of dotfiles
// keeps them, is written through: the file it leads to is replaced and the link stays.
// Each save merges what is on disk: keys other suites saved are taken up, keys they
// removed are dropped, and keys held here are written back when the file vanished,
// broke or was rewritten without them. A save that fails is logged once.
class JsonFileDefaults final : public Defaults {
   public:
    explicit JsonFileDefaults(std::filesystem::path file, double coalesceSeconds = 1.0);
    ~JsonFileDefaults() override;  // flushes

    std::optional<DefaultsValue> object(const std::string& key) const override;
    void set(const std::string& key, DefaultsValue value) override;
    void remove(const std::string& key) override;
    bool flush() override;
    bool hasUnreadableValue(const std::string& key) const override;
    bool moveUnreadableValue(const std::string& from, const std::string& to) override;

    const std::filesystem::path& file() const { return file_; }
    bool isReadOnly() const;

    // The suites of this app: "standard" is the app's own, app groups by name.
    // Files: <configDirectory>/<suite>.json.
    static std::filesystem::path suiteFile(const std::string& suiteName);

   private:
    struct Writer;
    std::filesystem::path file_;
    std::unique_ptr<Writer> writer_;
};

// Typed JSON form of one value: {"type": "bool"|"int"|"double"|"string"|"date"|"data", "value": ...}
// (dates as seconds since 2001, data as base64).
std::string encodeDefaultsFile(const std::map<std::string, DefaultsValue>& values);
// Throws std::runtime_error when the text is not a defaults file; entries of an
// unknown type are skipped with a log line.
std::map<std::string, DefaultsValue> decodeDefaultsFile(const std::string& text);

}  // namespace tw
