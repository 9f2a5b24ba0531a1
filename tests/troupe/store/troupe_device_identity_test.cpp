#include "troupe/store/troupe_device_identity.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

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
    const Uuid id = TroupeDeviceIdentity::resolve(defaults, copy, "m1");
    EXPECT_EQ(readFile(victim), "precious\n");
    EXPECT_EQ(readFile(copy), id.uuidString() + " m1\n");
    // And read back when the settings lose it.
    testing::InMemoryDefaults fresh;
    EXPECT_EQ(TroupeDeviceIdentity::resolve(fresh, copy, "m1"), id);
}

// Two installs with fresh settings on machines sharing the data folder: an id each. Either
// one whose settings are reset gets its own back, and the other's line stays as it was.
TEST_F(TroupeDeviceIdentityTest, MachinesSharingTheFolderKeepAnIdEach) {
    const fs::path copy = directory_ / TroupeDeviceIdentity::copyFileName;
    testing::InMemoryDefaults first;
    testing::InMemoryDefaults second;
    const Uuid one = TroupeDeviceIdentity::resolve(first, copy, "m1");
    const Uuid two = TroupeDeviceIdentity::resolve(second, copy, "m2");
    EXPECT_NE(one, two);
    const std::string both = one.uuidString() + " m1\n" + two.uuidString() + " m2\n";
    EXPECT_EQ(readFile(copy), both);
    for (const auto& [machine, id] : {std::pair{"m2", two}, std::pair{"m1", one}}) {
        testing::InMemoryDefaults reset;
        EXPECT_EQ(TroupeDeviceIdentity::resolve(reset, copy, machine), id) << machine;
        EXPECT_EQ(TroupeDeviceIdentity::resolve(machine == std::string("m1") ? first : second, copy, machine),
                  id);
    }
    EXPECT_EQ(readFile(copy), both);
}

// A copy as found: which id the launch goes on with, and what the copy holds after ("%" is
// that id). Builds before wrote the id alone; a line that cannot be read is kept.
TEST_F(TroupeDeviceIdentityTest, ACopyFoundIsReadByMachine) {
    const std::string old = Uuid::random().uuidString();
    const Uuid stored = Uuid::random();
    std::string others;  // a line each for as many other machines as the copy keeps
    for (int i = 0; i < 32; ++i) others += Uuid::random().uuidString() + " o" + std::to_string(i) + "\n";
    enum class Got { old, stored, fresh };
    const struct {
        const char* name;
        std::string before;
        const char* machine;
        bool inSettings;
        Got id;
        std::string after;
    } rows[] = {
        {"an older build's copy, settings reset", old + "\n", "m1", false, Got::old, "% m1\n"},
        {"an older build's copy, another id in the settings", " " + old + "\r\n", "m1", true, Got::stored,
         "% m1\n"},
        {"another machine's copy", old + " m2\n", "m1", false, Got::fresh, old + " m2\n% m1\n"},
        {"its own line after an older build's", old + "\n" + stored.uuidString() + " m1\n", "m1", false,
         Got::stored, "% m1\n"},
        {"a machine that cannot be named", old + " m2\n", "", false, Got::fresh, old + " m2\n%\n"},
        {"as many other machines as it keeps", others, "m1", true, Got::stored,
         others.substr(others.find('\n') + 1) + "% m1\n"},
        {"a line that cannot be read", "not an id\n", "m1", false, Got::fresh, "not an id\n% m1\n"},
    };
    int row = 0;
    for (const auto& r : rows) {
        const fs::path copy = directory_ / std::to_string(row++) / TroupeDeviceIdentity::copyFileName;
        fs::create_directories(copy.parent_path());
        std::ofstream(copy, std::ios::binary) << r.before;
        testing::InMemoryDefaults defaults;
        if (r.inSettings) defaults.setString(TroupeDeviceIdentity::defaultsKey, stored.uuidString());
        const Uuid id = TroupeDeviceIdentity::resolve(defaults, copy, r.machine);
        const Uuid want = r.id == Got::old ? *Uuid::parse(old) : stored;
        EXPECT_EQ(r.id == Got::fresh ? id != want && id.uuidString() != old : id == want, true) << r.name;
        std::string after = r.after;
        after.replace(after.find('%'), 1, id.uuidString());
        EXPECT_EQ(readFile(copy), after) << r.name;
        EXPECT_EQ(defaults.stringForKey(TroupeDeviceIdentity::defaultsKey), id.uuidString()) << r.name;
    }
}

}  // namespace
}  // namespace tw
