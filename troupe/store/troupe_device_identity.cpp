#include "troupe/store/troupe_device_identity.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/log.h"
#include "platform/sha256.h"

namespace tw {

namespace {

// A line is about 70 bytes; anything much larger is not a copy.
constexpr std::uint64_t kMaxCopyBytes = 4096;
// Machines kept in the copy: past this the oldest lines go first.
constexpr std::size_t kMostLines = 32;
constexpr std::string_view kSpace = " \t\r";

std::string_view trimmed(std::string_view text, std::string_view space = kSpace) {
    const auto start = text.find_first_not_of(space);
    if (start == std::string_view::npos) return {};
    return text.substr(start, text.find_last_not_of(space) - start + 1);
}

struct Line {
    std::string text;
    std::optional<Uuid> id;
    std::string machine;  // empty: written by a build that named none
};

struct Copy {
    std::vector<Line> lines;
    std::string text;         // as read
    bool replaceable = true;  // missing or a regular file: a copy may be written there
};

Copy readCopy(const std::filesystem::path& file) {
    const auto read = atomic_file::read(file, kMaxCopyBytes);
    if (read.status == atomic_file::ReadStatus::missing) return {};
    if (read.status != atomic_file::ReadStatus::ok) {
        log::system("The copy of the device id " + file.string() + " " +
                    atomic_file::describe(read, kMaxCopyBytes) + "; leaving it as it is");
        return {{}, {}, false};
    }
    Copy copy{{}, read.text, true};
    std::size_t unread = 0;
    for (std::string_view rest = read.text; !rest.empty();) {
        const auto end = std::min(rest.find('\n'), rest.size());
        const std::string_view text = trimmed(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (text.empty()) continue;
        // "<id>" or "<id> <machine>".
        const auto gap = std::min(text.find_first_of(kSpace), text.size());
        const std::string_view machine = trimmed(text.substr(gap));
        Line line{std::string(text), Uuid::parse(text.substr(0, gap)), std::string(machine)};
        if (machine.find_first_of(kSpace) != std::string_view::npos) line.id.reset();
        if (!line.id) ++unread;
        copy.lines.push_back(std::move(line));
    }
    if (unread > 0)
        log::system("The copy of the device id " + file.string() + " holds " + std::to_string(unread) +
                    " line" + (unread == 1 ? "" : "s") + " that cannot be read; they are kept as they are");
    return copy;
}

// A line this machine's replaces: its own, or one that names no machine.
bool isOwn(const Line& line, const std::string& machine) {
    return line.id && (line.machine.empty() || line.machine == machine);
}

// This machine's line, else one that names no machine (an older build's, perhaps this
// machine's own).
std::optional<Uuid> idOf(const Copy& copy, const std::string& machine) {
    for (const bool unnamed : {false, true}) {
        for (const Line& line : copy.lines)
            if (line.id && line.machine == (unnamed ? std::string() : machine)) return line.id;
    }
    return std::nullopt;
}

// The copy with `id` as this machine's line, where its line (or one that names no machine)
// stood, else last. Other machines' lines, and lines that cannot be read (a newer build's,
// perhaps), stay as they are; one that names no machine goes, as builds before replaced
// the copy whole. Past kMostLines the first others go.
std::string copyWith(const Copy& copy, const Uuid& id, const std::string& machine) {
    const std::string own = id.uuidString() + (machine.empty() ? "" : " " + machine);
    std::vector<std::string_view> lines;
    bool placed = false;
    for (const Line& line : copy.lines) {
        if (!isOwn(line, machine)) {
            lines.push_back(line.text);
        } else if (!std::exchange(placed, true)) {
            lines.push_back(own);
        }
    }
    if (!placed) lines.push_back(own);
    for (auto line = lines.begin(); lines.size() > kMostLines;)
        line = *line == own ? line + 1 : lines.erase(line);
    std::string text;
    for (const std::string_view line : lines) (text += line) += '\n';
    return text;
}

void writeCopy(const std::filesystem::path& file, const std::string& text) {
    // Whole or not at all, through a temp file of its own that is never a planted link.
    std::string error;
    if (!atomic_file::replace(file, text, true, error))
        log::system("Cannot keep a copy of the device id in " + file.string() + ": " + error);
}

// Not the value itself: a machine id is not to be shown to others, and the data folder
// may be shared.
std::string machineName(std::string_view what) {
    return sha256Hex("tumblewick troupe device\n" + std::string(what)).substr(0, 32);
}

Uuid remember(Defaults& defaults, const Uuid& id, bool unsaved) {
    if (!unsaved) return id;
    defaults.setString(TroupeDeviceIdentity::defaultsKey, id.uuidString());
    if (!defaults.flush()) log::system("Cannot save the troupe device id to the settings file");
    return id;
}

}  // namespace

std::string TroupeDeviceIdentity::thisMachine() {
    for (const char* file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        const auto read = atomic_file::read(file, 256);
        const std::string_view id = trimmed(read.text, " \t\r\n");
        // A first boot that has not made one yet says "uninitialized".
        if (read.status == atomic_file::ReadStatus::ok && !id.empty() && id != "uninitialized")
            return machineName("machine-id " + std::string(id));
    }
    std::array<char, 256> host{};
    if (::gethostname(host.data(), host.size() - 1) == 0) {
        const std::string_view name(host.data());
        if (!name.empty() && name != "localhost" && name != "localhost.localdomain")
            return machineName("host " + std::string(name));
    }
    return {};
}

Uuid TroupeDeviceIdentity::resolve(Defaults& defaults, const std::filesystem::path& copyFile,
                                   const std::string& machine) {
    if (machine.empty())
        log::system("This machine has no machine id or host name: the copy of the troupe device id in " +
                    copyFile.string() + " cannot tell it from other machines sharing that folder");
    const Copy copy = readCopy(copyFile);
    std::optional<Uuid> stored;
    if (auto text = defaults.stringForKey(defaultsKey)) stored = Uuid::parse(*text);
    Uuid id;
    if (stored) {
        id = *stored;
    } else if (auto own = idOf(copy, machine)) {
        log::info("Troupe device id restored from " + copyFile.string());
        id = *own;
    } else {
        id = Uuid::random();
    }
    if (!copy.replaceable) return remember(defaults, id, !stored);
    for (const Line& line : copy.lines) {
        if (isOwn(line, machine) && *line.id != id)
            log::info("The copy of the device id " + copyFile.string() + " held " + line.id->uuidString() +
                      " for this machine; it now holds " + id.uuidString() +
                      ", the id this machine goes on with");
    }
    if (std::string text = copyWith(copy, id, machine); text != copy.text) writeCopy(copyFile, text);
    return remember(defaults, id, !stored);
}

}  // namespace tw
