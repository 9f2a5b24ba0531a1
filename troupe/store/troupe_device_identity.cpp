#include "troupe/store/troupe_device_identity.h"

#include <fstream>
#include <optional>
#include <string>

#include "platform/log.h"

namespace tw {

namespace {

std::optional<Uuid> readCopy(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text)) return std::nullopt;
    return Uuid::parse(text);
}

void writeCopy(const std::filesystem::path& file, const Uuid& id) {
    // Written whole to a temporary file and renamed, so a crash never leaves half an id.
    const std::filesystem::path temporary = file.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << id.uuidString() << '\n';
        out.flush();
        if (!out) {
            log::system("Cannot keep a copy of the device id in " + file.string());
            return;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, file, error);
    if (error)
        log::system("Cannot keep a copy of the device id in " + file.string() + ": " + error.message());
}

}  // namespace

Uuid TroupeDeviceIdentity::resolve(Defaults& defaults, const std::filesystem::path& copyFile) {
    const auto copy = readCopy(copyFile);
    std::optional<Uuid> stored;
    if (auto text = defaults.stringForKey(defaultsKey)) stored = Uuid::parse(*text);
    if (stored) {
        if (copy != stored) writeCopy(copyFile, *stored);
        return *stored;
    }
    Uuid id;
    if (copy) {
        log::info("Troupe device id restored from " + copyFile.string());
        id = *copy;
    } else {
        id = Uuid::random();
        writeCopy(copyFile, id);
    }
    defaults.setString(defaultsKey, id.uuidString());
    if (!defaults.flush()) log::system("Cannot save the troupe device id to the settings file");
    return id;
}

}  // namespace tw
