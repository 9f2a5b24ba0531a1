#include "platform/qt/sound_output.h"

#include <cstdlib>
#include <system_error>

namespace tw {
namespace {

std::optional<std::filesystem::path> variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::filesystem::path(value);
}

bool playbackDevice(const std::filesystem::directory_entry& entry) {
    const std::string name = entry.path().filename().string();
    return name.starts_with("pcmC") && name.ends_with('p');
}

}  // namespace

SoundOutputPlaces SoundOutputPlaces::ofThisProcess() {
    return {variable("PULSE_SERVER"), variable("XDG_RUNTIME_DIR")};
}

bool soundOutputAvailable(const SoundOutputPlaces& places) {
    if (places.pulseServer) return true;
    std::error_code error;
    if (places.runtimeDir) {
        for (const char* socket : {"pulse/native", "pipewire-0"})
            if (std::filesystem::exists(*places.runtimeDir / socket, error)) return true;
    }
    for (std::filesystem::directory_iterator entry(places.alsaDevices, error), end; !error && entry != end;
         entry.increment(error))
        if (playbackDevice(*entry)) return true;
    return false;
}

}  // namespace tw
