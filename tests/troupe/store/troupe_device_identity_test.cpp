#include "troupe/store/troupe_device_identity.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/log.h"
#include "platform/testing/hostile_files.h"
#include "platform/testing/in_memory_defaults.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::Hostile;

class TroupeDeviceIdentityTest : public ::testing::Test {
   protected:
    void SetUp() override {
        directory_ = testing::freshShortFolder("tw-device-id-");
        log::setSinkForTesting([](std::string_view) {});
    }
    void TearDown() override {
        log::setSinkForTesting(nullptr);
        fs::remove_all(directory_);
    }
    static std::string readFile(const fs::path& path) {
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path directory_;
};

// With the id in the settings and without: the launch goes on with that id or a new
// one, and whatever stands at the copy's path stays as it was. Root reads a file of
// mode 000, so that row is left out when run as root.
TEST_F(TroupeDeviceIdentityTest, ACopyPathThatIsNoFileIsLeftAsItIs) {
    const Uuid stored = Uuid::random();
    int row = 0;
    for (const auto& [kind, name] : testing::hostileKinds()) {
        if (testing::meaninglessHere(kind)) continue;
        for (const bool inSettings : {true, false}) {
            const fs::path folder = directory_ / std::to_string(row++);
            fs::create_directories(folder);
            const fs::path copy = folder / TroupeDeviceIdentity::copyFileName;
            testing::makeHostile(copy, kind);
            const std::string before = testing::fingerprint(copy);
            testing::InMemoryDefaults defaults;
            if (inSettings) defaults.setString(TroupeDeviceIdentity::defaultsKey, stored.uuidString());
            const Uuid id = TroupeDeviceIdentity::resolve(defaults, copy);
            EXPECT_EQ(id == stored, inSettings) << name;
            EXPECT_EQ(defaults.stringForKey(TroupeDeviceIdentity::defaultsKey), id.uuidString()) << name;
            EXPECT_EQ(testing::fingerprint(copy), before) << name << (inSettings ? " with" : " without");
        }
    }
}

// A link planted where an older build put its temp file: the copy is written whole,
// and the file the link leads to is not touched.
TEST_F(TroupeDeviceIdentityTest, TheCopyIsWrittenWithoutFollowingAPlantedLink) {
    const fs::path copy = directory_ / TroupeDeviceIdentity::copyFileName;
    const fs::path victim = directory_ / "victim";
    std::ofstream(victim) << "precious\n";
    fs::create_symlink(victim, directory_ / "device_id.tmp");
    testing::InMemoryDefaults defaults;
    const Uuid id = TroupeDeviceIdentity::resolve(defaults, copy);
    EXPECT_EQ(readFile(victim), "precious\n");
    EXPECT_EQ(readFile(copy), id.uuidString() + "\n");
    // And read back when the settings lose it.
    testing::InMemoryDefaults fresh;
    EXPECT_EQ(TroupeDeviceIdentity::resolve(fresh, copy), id);
}

}  // namespace
}  // namespace tw
