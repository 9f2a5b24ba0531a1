#pragma once
// Whether anything can play a chime. Without a sound server or a playback device the
// sound library's ALSA backend writes a dozen error lines to stderr on every sound, so
// the app looks first, once, and stays silent instead.
#include <filesystem>
#include <optional>

namespace tw {

struct SoundOutputPlaces {
    std::optional<std::filesystem::path> pulseServer;  // PULSE_SERVER, when set
    std::optional<std::filesystem::path> runtimeDir;   // XDG_RUNTIME_DIR, when set
    std::filesystem::path alsaDevices = "/dev/snd";

    // Where this process would find them.
    static SoundOutputPlaces ofThisProcess();
};

// A server to talk to (PULSE_SERVER, or a PulseAudio or PipeWire socket in the runtime
// folder), or an ALSA playback device ("pcmC0D0p").
bool soundOutputAvailable(const SoundOutputPlaces& places);

}  // namespace tw
