// Which places count as somewhere a chime can be played.
#include "platform/qt/sound_output.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tw {
namespace {

TEST(SoundOutput, AServerOrAPlaybackDeviceCountsAndNothingElseDoes) {
    const char* root = std::getenv("TW_TEST_OUTPUT_DIR");
    const auto folder = std::filesystem::path(root ? root : "/tmp") / "sound_output";
    struct Case {
        const char* name;
        std::optional<std::filesystem::path> pulseServer;
        std::vector<const char*> runtimeFiles;
        std::vector<const char*> devices;
        bool available;
    };
    const Case cases[] = {
        {"nothing", std::nullopt, {}, {}, false},
        {"capture and control only", std::nullopt, {"dconf/user"}, {"controlC0", "pcmC0D0c", "timer"}, false},
        {"a playback device", std::nullopt, {}, {"controlC0", "pcmC0D0p"}, true},
        {"a PulseAudio socket", std::nullopt, {"pulse/native"}, {}, true},
        {"a PipeWire socket", std::nullopt, {"pipewire-0"}, {}, true},
        {"a named server", "tcp:sound.local", {}, {}, true},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(folder);
        const auto make = [](const std::filesystem::path& file) {
            std::filesystem::create_directories(file.parent_path());
            std::ofstream{file};
        };
        for (const char* file : c.runtimeFiles) make(folder / "run" / file);
        for (const char* device : c.devices) make(folder / "snd" / device);
        const SoundOutputPlaces places{c.pulseServer, folder / "run", folder / "snd"};
        EXPECT_EQ(soundOutputAvailable(places), c.available) << c.name;
    }
}

}  // namespace
}  // namespace tw
