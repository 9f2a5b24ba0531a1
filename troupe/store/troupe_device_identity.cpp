#include "troupe/store/troupe_device_identity.h"

#include <optional>
#include <string>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/log.h"

namespace tw {

namespace {

// A copy is one line of 37 bytes; anything much larger is not one.
constexpr std::uint64_t kMaxCopyBytes = 4096;

struct Copy {
    std::optional<Uuid> id;
    bool replaceable = true;  // missing or a regular file: a copy may be written there
};

Copy readCopy(const std::filesystem::path& file) {
    const auto read = atomic_file::read(file, kMaxCopyBytes);
    if (read.status == atomic_file::ReadStatus::missing) return {};
    if (read.status != atomic_file::ReadStatus::ok) {
        log::system("The copy of the device id " + file.string() + " " +
                    atomic_file::describe(read, kMaxCopyBytes) + "; leaving it as it is");
        return {std::nullopt, false};
    }
    // The first word, as written: the id and a newline.
    std::string_view text = read.text;
    const auto start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return {};
    text.remove_prefix(start);
    return {Uuid::parse(text.substr(0, text.find_first_of(" \t\r\n"))), true};
}

void writeCopy(const std::filesystem::path& file, const Uuid& id) {
    // Whole or not at all, through a temp file of its own that is never a planted link.
    std::string error;
    if (!atomic_file::replace(file, id.uuidString() + "\n", true, error))
        log::system("Cannot keep a copy of the device id in " + file.string() + ": " + error);
}

}  // namespace

Uuid TroupeDeviceIdentity::resolve(Defaults& defaults, const std::filesystem::path& copyFile) {
    const Copy copy = readCopy(copyFile);
    std::optional<Uuid> stored;
    if (auto text = defaults.stringForKey(defaultsKey)) stored = Uuid::parse(*text);
    if (stored) {
        if (copy.replaceable && copy.id != stored) writeCopy(copyFile, *stored);
        return *stored;
    }
    Uuid id;
    if (copy.id) {
        log::info("Troupe device id restored from " + copyFile.string());
        id = *copy.id;
    } else {
        id = Uuid::random();
        if (copy.replaceable) writeCopy(copyFile, id);
    }
    defaults.setString(defaultsKey, id.uuidString());
    if (!defaults.flush()) log::system("Cannot save the troupe device id to the settings file");
    return id;
}

}  // namespace tw
