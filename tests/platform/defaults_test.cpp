#include "platform/defaults.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <thread>
#include <tuple>

#include "platform/atomic_file.h"
#include "platform/json.h"
#include "platform/log.h"
#include "platform/testing/finished_process.h"
#include "platform/testing/in_memory_defaults.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

int countWithPrefix(const fs::path& folder, const std::string& prefix) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) ++count;
    }
    return count;
}

class JsonFileDefaultsTest : public ::testing::Test {
   protected:
    void SetUp() override {
        const char* output = std::getenv("TW_TEST_OUTPUT_DIR");
        const fs::path root = output != nullptr ? fs::path(output) : fs::temp_directory_path();
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        directory_ = root / ("defaults-" + std::string(test->name()) + "-" + std::to_string(::getpid()));
        fs::remove_all(directory_);
        fs::create_directories(directory_);
        file_ = directory_ / "standard.json";
        log::setSinkForTesting([this](std::string_view line) { logLines_.emplace_back(line); });
    }
    void TearDown() override {
        log::setSinkForTesting(nullptr);
        std::error_code ignored;
        fs::permissions(directory_, fs::perms::owner_all, ignored);
        fs::remove_all(directory_, ignored);
    }

    fs::path directory_;
    fs::path file_;
    std::vector<std::string> logLines_;
};

TEST_F(JsonFileDefaultsTest, ValuesKeepTheirTypesAcrossARestart) {
    {
        JsonFileDefaults defaults(file_);
        defaults.setBool("muted", false);
        defaults.setInteger("count", 7);
        defaults.setDouble("whole", 2.0);
        defaults.setString("name", "Pip 🦗");
        defaults.setDate("since", Date{812345678.25});
        defaults.setData("blob", std::string("\0\x01\xff\xfe{}", 6));
    }  // the destructor saves
    JsonFileDefaults reopened(file_);
    EXPECT_EQ(reopened.object("muted"), DefaultsValue{false});
    EXPECT_EQ(reopened.object("count"), DefaultsValue{std::int64_t{7}});
    EXPECT_EQ(reopened.object("whole"), DefaultsValue{2.0});
    EXPECT_EQ(reopened.object("name"), DefaultsValue{std::string("Pip 🦗")});
    EXPECT_EQ(reopened.object("since"), DefaultsValue{Date{812345678.25}});
    EXPECT_EQ(reopened.dataStringForKey("blob"), std::string("\0\x01\xff\xfe{}", 6));
    EXPECT_FALSE(reopened.isReadOnly());
}

TEST_F(JsonFileDefaultsTest, FlushSavesAtOnceAndRemovalsAreSaved) {
    JsonFileDefaults defaults(file_, 3600);
    defaults.setInteger("kept", 1);
    defaults.setInteger("dropped", 2);
    ASSERT_TRUE(defaults.flush());
    defaults.remove("dropped");
    ASSERT_TRUE(defaults.flush());
    const auto saved = decodeDefaultsFile(readFile(file_));
    EXPECT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved.at("kept"), DefaultsValue{std::int64_t{1}});
}

TEST_F(JsonFileDefaultsTest, TwoSuitesOnOneFileKeepEachOthersKeys) {
    {
        JsonFileDefaults seed(file_);
        seed.setString("shared", "old");
    }
    JsonFileDefaults first(file_, 3600);
    JsonFileDefaults second(file_, 3600);
    second.remove("shared");
    ASSERT_TRUE(second.flush());
    // Writers racing: each saves its own keys while the other saves too.
    auto writeKeys = [](JsonFileDefaults& defaults, const std::string& prefix) {
        for (int i = 0; i < 25; ++i) {
            defaults.setInteger(prefix + std::to_string(i), i);
            EXPECT_TRUE(defaults.flush());
        }
    };
    std::thread a([&] { writeKeys(first, "a"); });
    std::thread b([&] { writeKeys(second, "b"); });
    a.join();
    b.join();
    // A save takes up what the other suite saved before it; "first" may have finished
    // before "second" wrote "b3", so it saves once more.
    first.setInteger("a24", 24);
    ASSERT_TRUE(first.flush());
    const auto saved = decodeDefaultsFile(readFile(file_));
    EXPECT_EQ(saved.size(), 50u);
    EXPECT_EQ(saved.count("a24"), 1u);
    EXPECT_EQ(saved.count("b24"), 1u);
    // "first" never touched the key "second" removed, so it stays removed.
    EXPECT_EQ(saved.count("shared"), 0u);
    EXPECT_FALSE(first.hasKey("shared"));
    EXPECT_TRUE(first.hasKey("b3"));
}

// Whatever an entry holds, a file whose outline is not one whole object is set aside.
TEST_F(JsonFileDefaultsTest, AnUnparseableFileIsSetAsideAndTheSuiteStartsEmpty) {
    const std::string huge = R"("huge": {"type": "double", "value": 1e400})";
    const std::vector<std::string> unparseable = {
        "{\"muted\": {\"type\": \"bool\", \"value\": tru",
        "{" + huge + ", \"muted\": {\"type\": \"bool\", \"value\": true}",  // truncated
        "[{" + huge + "}]",
        "{" + huge + ", \"deep\": " + std::string(600, '[') + std::string(599, ']') + "}",
    };
    for (const std::string& garbage : unparseable) {
        SCOPED_TRACE(garbage.substr(0, 60));
        for (const auto& entry : fs::directory_iterator(directory_)) fs::remove(entry.path());
        writeFile(file_, garbage);
        {
            JsonFileDefaults defaults(file_);
            EXPECT_FALSE(defaults.hasKey("muted"));
            defaults.setBool("fresh", true);
        }
        int corruptFiles = 0;
        for (const auto& entry : fs::directory_iterator(directory_)) {
            if (entry.path().filename().string().rfind("standard.json.corrupt-", 0) == 0) {
                ++corruptFiles;
                EXPECT_EQ(readFile(entry.path()), garbage);
            }
        }
        EXPECT_EQ(corruptFiles, 1);
        EXPECT_TRUE(JsonFileDefaults(file_).boolForKey("fresh"));
        EXPECT_FALSE(logLines_.empty());
    }
}

TEST_F(JsonFileDefaultsTest, AFileThatCannotBeReadIsNeverOverwritten) {
    fs::create_directories(file_);  // a directory where the file should be
    JsonFileDefaults defaults(file_);
    EXPECT_TRUE(defaults.isReadOnly());
    defaults.setBool("x", true);
    EXPECT_TRUE(defaults.boolForKey("x"));
    EXPECT_FALSE(defaults.flush());
    EXPECT_TRUE(fs::is_directory(file_));
}

TEST_F(JsonFileDefaultsTest, EntriesOfUnknownTypesSurviveARewrite) {
    writeFile(file_, R"({"tint":{"type":"color","value":"#ff0000"},"n":{"type":"int","value":"x"},)"
                     R"("ok":{"type":"bool","value":true}})");
    {
        JsonFileDefaults defaults(file_);
        EXPECT_TRUE(defaults.boolForKey("ok"));
        EXPECT_FALSE(defaults.hasKey("tint"));
        EXPECT_EQ(std::make_tuple(defaults.hasUnreadableValue("tint"), defaults.hasUnreadableValue("n"),
                                  defaults.hasUnreadableValue("ok"), defaults.hasUnreadableValue("none")),
                  std::make_tuple(true, true, false, false));
        defaults.setBool("ok", false);
        // Set aside verbatim, so the key can take a new value.
        EXPECT_TRUE(defaults.moveUnreadableValue("n", "n_aside"));
        EXPECT_FALSE(defaults.moveUnreadableValue("n", "n_again"));
        defaults.setInteger("n", 3);
    }
    const OrderedJson saved = parseJson(readFile(file_));
    EXPECT_EQ(saved.at("tint").at("value"), "#ff0000");
    EXPECT_EQ(saved.at("n_aside").at("value"), "x");
    JsonFileDefaults reopened(file_);
    EXPECT_FALSE(reopened.boolForKey("ok"));
    EXPECT_EQ(reopened.integerForKey("n"), 3);
    EXPECT_TRUE(reopened.hasUnreadableValue("n_aside"));
}

TEST_F(JsonFileDefaultsTest, EntriesOfUnknownTypesKeepTheirJsonTextToTheByte) {
    std::string objectsInObjects;
    for (int i = 0; i < 600; ++i) objectsInObjects += R"({"a": )";
    const std::vector<std::pair<std::string, std::string>> raw = {
        {"big", R"({"type": "bigint", "value": 12345678901234567890123456789})"},
        {"caf\u00e9", R"({ "type" : "color", "value" : [1.0, 2.50, -0.0, 1E+2] })"},
        {"escaped", R"({"type":"note","value":"caf\u00e9 \"quoted\"","nested":{"b":[{}],"a":null}})"},
        {"n", R"({"type": "int", "value": 12345678901234567890123456789})"},  // a known type, malformed
        // Beyond what the parser holds: the other entries load all the same.
        {"huge", R"({"type": "double", "value": 1e400})"},
        {"far", R"({"type": "color", "value": [-1E+400, 2]})"},
        {"lone", R"({"type": "string", "value": "\ud800 alone"})"},
        {R"(\ud800 key)", R"({"type": "int", "value": 1})"},
        {"deep", R"({"type": "note", "value": {"a": [{"b": "\udc00"}]}})"},
        // Past the parser's depth limit, and far past any call stack.
        {"deeper", R"({"type": "string", "value": )" + objectsInObjects + "1" + std::string(601, '}')},
        {"deepest", std::string(1'000'000, '[') + std::string(1'000'000, ']')},
    };
    std::string text = "{\n";
    for (const auto& [key, entry] : raw) text += "\"" + key + "\":\n\t" + entry + " ,\n";
    text += R"("ok": {"type": "bool", "value": true}})";
    writeFile(file_, text);
    {
        JsonFileDefaults defaults(file_);
        EXPECT_TRUE(defaults.hasUnreadableValue("café"));
        EXPECT_TRUE(defaults.boolForKey("ok"));
        EXPECT_FALSE(defaults.hasKey("huge"));
        EXPECT_TRUE(defaults.hasUnreadableValue("huge"));
        EXPECT_FALSE(defaults.hasKey("deeper"));
        EXPECT_TRUE(defaults.hasUnreadableValue("deepest"));
        defaults.setInteger("fresh", 1);
        ASSERT_TRUE(defaults.flush());
    }
    const std::string saved = readFile(file_);
    for (const auto& [key, entry] : raw)
        EXPECT_NE(saved.find("\"" + key + "\": " + entry), std::string::npos) << key;
    EXPECT_EQ(JsonFileDefaults(file_).integerForKey("fresh"), 1);
    {
        JsonFileDefaults again(file_);
        again.setInteger("fresh", 1);
        ASSERT_TRUE(again.flush());
        EXPECT_EQ(readFile(file_), saved);
        fs::remove(file_);  // what the suite holds is written again whole
        again.setInteger("fresh", 1);
        ASSERT_TRUE(again.flush());
    }
    EXPECT_EQ(readFile(file_), saved);
}

// As a folder of dotfiles keeps them: the link stays, the file it leads to is replaced
// in its own folder and keeps its mode; a file there that cannot be parsed is set aside
// beside it and made again.
TEST_F(JsonFileDefaultsTest, ASettingsFileBehindALinkIsSavedThroughIt) {
    struct Case {
        std::string name;
        std::string target;  // the text the linked file starts with
        std::function<fs::path(const fs::path& link, const fs::path& target)> link;
        int setAside = 0;
    };
    const std::string held = R"({"held": {"type": "int", "value": 7}})";
    const std::vector<Case> cases = {
        {"absolute", held, [](const fs::path&, const fs::path& target) { return target; }},
        {"relative", held,
         [](const fs::path&, const fs::path&) { return fs::path("../dotfiles/standard.json"); }},
        {"chain of two", held,
         [](const fs::path& link, const fs::path& target) {
             fs::create_symlink(target, link.parent_path() / "middle.json");
             return fs::path("middle.json");
         }},
        {"unparseable", "{\"held\": ", [](const fs::path&, const fs::path& target) { return target; }, 1},
    };
    for (const auto& c : cases) {
        const fs::path root = directory_ / c.name;
        const fs::path target = root / "dotfiles" / "standard.json";
        const fs::path link = root / "config" / "standard.json";
        fs::create_directories(target.parent_path());
        fs::create_directories(link.parent_path());
        writeFile(target, c.target);
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
        fs::create_symlink(c.link(link, target), link);
        {
            JsonFileDefaults defaults(link, 3600);
            EXPECT_EQ(defaults.integerForKey("held"), c.setAside == 0 ? 7 : 0) << c.name;
            defaults.setInteger("fresh", 1);
            EXPECT_TRUE(defaults.flush()) << c.name;
        }
        EXPECT_TRUE(fs::is_symlink(link)) << c.name;
        if (c.setAside == 0) {
            EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write)
                << c.name;
        }
        const auto saved = decodeDefaultsFile(readFile(target));
        EXPECT_EQ(saved.count("fresh"), 1u) << c.name;
        EXPECT_EQ(saved.count("held"), c.setAside == 0 ? 1u : 0u) << c.name;
        EXPECT_EQ(countWithPrefix(target.parent_path(), "standard.json.corrupt-"), c.setAside) << c.name;
        EXPECT_EQ(countWithPrefix(target.parent_path(), "standard.json.tmp-") +
                      countWithPrefix(link.parent_path(), "standard.json.tmp-"),
                  0)
            << c.name;
    }
}

TEST_F(JsonFileDefaultsTest, NonFiniteNumbersAreRefusedRatherThanBreakingTheFile) {
    JsonFileDefaults defaults(file_);
    defaults.setDouble("speed", 1.5);
    defaults.setDouble("speed", std::numeric_limits<double>::quiet_NaN());
    defaults.setDate("when", Date{std::numeric_limits<double>::infinity()});
    EXPECT_EQ(defaults.doubleForKey("speed"), 1.5);
    EXPECT_FALSE(defaults.hasKey("when"));
    EXPECT_TRUE(defaults.flush());
}

constexpr int kHeldKeys = 50;

// Appended rather than `"k" + std::to_string(i)`, on which GCC 12 at -O3 raises a false -Wrestrict.
std::string heldKey(int i) {
    std::string key = "k";
    key += std::to_string(i);
    return key;
}

struct FileChange {
    std::string name;
    std::function<void(const fs::path& file)> apply;
    std::function<void(const fs::path& file)> repair;  // set when the save must fail until then
    int keysOnDisk = kHeldKeys + 1;                    // after the next successful save
    int setAside = 0;                                  // damaged files moved aside
    std::string logged;                                // a text the log must show
};

// Whatever happens to the file under a running suite, the keys it holds are never lost.
class DefaultsFileChangesTest : public JsonFileDefaultsTest {
   protected:
    void SetUp() override {
        JsonFileDefaultsTest::SetUp();
        fs::permissions(directory_, fs::perms::all);  // also usable by an unprivileged child
    }

    int loggedLinesWith(const std::string& text) const {
        int count = 0;
        for (const auto& line : logLines_) count += line.find(text) != std::string::npos ? 1 : 0;
        return count;
    }

    // Holds 50 saved keys, lets `change` hit the file, then saves one more key. Returns
    // what went wrong, empty when nothing did.
    std::string run(const FileChange& change) {
        logLines_.clear();
        const fs::path folder = directory_ / change.name;
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::all);  // also usable by an unprivileged child
        const fs::path file = folder / "standard.json";
        std::ostringstream why;
        JsonFileDefaults defaults(file, 3600);
        for (int i = 0; i < kHeldKeys; ++i) defaults.setInteger(heldKey(i), i);
        if (!defaults.flush()) return "the first save failed";

        change.apply(file);
        defaults.setBool("after", true);
        if (change.repair) {
            if (defaults.flush()) why << "saved while the file was unusable; ";
            defaults.setBool("again", true);
            if (defaults.flush()) why << "saved twice while the file was unusable; ";
            if (loggedLinesWith("cannot save") != 1) why << "not logged exactly once; ";
            change.repair(file);
            defaults.remove("again");
        }
        if (!defaults.flush()) return why.str() + "the save failed";
        int lost = 0;
        for (int i = 0; i < kHeldKeys; ++i) lost += defaults.integerForKey(heldKey(i)) != i ? 1 : 0;
        if (lost > 0) why << "lost " << lost << " keys in memory; ";
        try {
            const auto saved = decodeDefaultsFile(readFile(file));
            if (static_cast<int>(saved.size()) != change.keysOnDisk) why << saved.size() << " keys on disk; ";
        } catch (const std::exception& error) {
            why << "saved file unreadable: " << error.what() << "; ";
        }
        if (countWithPrefix(folder, "standard.json.corrupt-") != change.setAside) why << "set-aside count; ";
        if (countWithPrefix(folder, "standard.json.tmp-") != 0) why << "temp file left; ";
        if (!change.logged.empty() && loggedLinesWith(change.logged) == 0) why << "no log line; ";
        return why.str();
    }
};

TEST_F(DefaultsFileChangesTest, NoChangeOfTheFileMakesARunningSuiteDropAKey) {
    const std::vector<FileChange> changes = {
        {"deleted", [](const fs::path& file) { fs::remove(file); }, {}, kHeldKeys + 1, 0, "was removed"},
        {"truncated",
         [](const fs::path& file) { fs::resize_file(file, fs::file_size(file) / 2); },
         {},
         kHeldKeys + 1,
         1,
         "could not be parsed"},
        {"garbage", [](const fs::path& file) { writeFile(file, "\x01garbage{"); }, {}, kHeldKeys + 1, 1, ""},
        {"rewritten by another program",
         [](const fs::path& file) { writeFile(file, R"({"foreign": {"type": "int", "value": 7}})"); },
         {},
         kHeldKeys + 2,
         0,
         "wrote them back"},
        // Sparse: the limit is checked before a byte is read.
        {"over the size limit",
         [](const fs::path& file) { fs::resize_file(file, 65ull * 1024 * 1024); },
         {},
         kHeldKeys + 1,
         1,
         "over the 64 MiB limit"},
        {"replaced by a directory",
         [](const fs::path& file) {
             fs::remove(file);
             fs::create_directory(file);
         },
         [](const fs::path& file) { fs::remove(file); }, kHeldKeys + 1, 0, "is a directory"},
    };
    for (const auto& change : changes) EXPECT_EQ(run(change), "") << change.name;
}

TEST_F(DefaultsFileChangesTest, AFileWithoutPermissionIsReportedOnceAndSavedWhenAllowedAgain) {
    const FileChange change{"no permission",
                            [](const fs::path& file) { fs::permissions(file, fs::perms::none); },
                            [](const fs::path& file) { fs::permissions(file, fs::perms::owner_all); },
                            kHeldKeys + 1,
                            0,
                            "Permission denied"};
    // Root reads any file, so the suite runs as an unprivileged user in a child.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(2);
            const std::string why = run(change);
            std::fputs(why.c_str(), stderr);
            std::_Exit(why.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(DefaultsFileChangesTest, TempFilesOfDeadWritersGoAtStartAndThoseOfRunningOnesStay) {
    const fs::path file = directory_ / "standard.json";
    const std::string dead = "standard.json.tmp-" + std::to_string(testing::finishedProcessId());
    const std::vector<std::pair<std::string, bool>> temps = {
        {dead + "-3", false},
        {dead, false},  // the name older builds used
        {"standard.json.tmp-" + std::to_string(::getpid()) + "-1", true},
        {"standard.json.tmp-" + std::to_string(::getppid()), true},
        {"standard.json.tmp-notes", true},  // not a temp name of ours
        {"other.json.tmp-" + std::to_string(testing::finishedProcessId()), true},
    };
    for (const auto& [name, kept] : temps) writeFile(directory_ / name, "{");
    JsonFileDefaults defaults(file);
    for (const auto& [name, kept] : temps) EXPECT_EQ(fs::exists(directory_ / name), kept) << name;
}

TEST(AtomicFileTest, ConcurrentReplacementsAlwaysLeaveOneWholeVersion) {
    const fs::path file = fs::temp_directory_path() / ("atomic-" + std::to_string(::getpid()));
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([&file, w] {
            const std::string text(4096 + w, static_cast<char>('a' + w));
            std::string error;
            for (int i = 0; i < 200; ++i)
                EXPECT_TRUE(atomic_file::replace(file, text, false, error)) << error;
        });
    }
    for (int i = 0; i < 400; ++i) {
        const std::string text = readFile(file);
        if (text.empty()) continue;  // not written yet
        EXPECT_EQ(text, std::string(text.size(), text[0]));
        EXPECT_EQ(text.size(), 4096u + static_cast<unsigned>(text[0] - 'a'));
    }
    for (auto& writer : writers) writer.join();
    EXPECT_EQ(countWithPrefix(file.parent_path(), file.filename().string() + ".tmp-"), 0);
    fs::remove(file);
}

TEST(DefaultsFileFormatTest, DataOfEveryLengthRoundTripsAndBadFilesAreRefused) {
    for (std::size_t length = 0; length < 8; ++length) {
        DefaultsData data;
        for (std::size_t i = 0; i < length; ++i) data.bytes.push_back(static_cast<std::uint8_t>(250 + i));
        const auto decoded = decodeDefaultsFile(encodeDefaultsFile({{"d", data}}));
        EXPECT_EQ(decoded.at("d"), DefaultsValue{data}) << length;
    }
    EXPECT_THROW(decodeDefaultsFile("[1,2]"), std::runtime_error);
    EXPECT_THROW(decodeDefaultsFile(""), std::runtime_error);
    // A malformed entry is skipped, not the whole file.
    const auto partial =
        decodeDefaultsFile(R"({"d":{"type":"data","value":"AB=C"},"i":{"type":"int","value":2.5},)"
                           R"("b":{"type":"bool","value":1},"ok":{"type":"double","value":3}})");
    EXPECT_EQ(partial.size(), 1u);
    EXPECT_EQ(partial.at("ok"), DefaultsValue{3.0});
}

TEST(DefaultsReadRulesTest, BooleansFromStringsAndNumbers) {
    testing::InMemoryDefaults defaults;
    const std::vector<std::pair<DefaultsValue, bool>> cases = {
        {std::string("YES"), true},
        {std::string("yes"), true},
        {std::string(" TRUE "), true},
        {std::string("1"), true},
        {std::string("-2"), true},
        {std::string("0"), false},
        {std::string("no"), false},
        {std::string(""), false},
        {std::string("1x"), false},
        {std::int64_t{1}, true},
        {std::int64_t{0}, false},
        {0.0, false},
        {0.25, true},
        {Date{5}, false},
        {DefaultsData{{'1'}}, false},
    };
    for (const auto& [value, expected] : cases) {
        defaults.set("k", value);
        EXPECT_EQ(defaults.boolForKey("k"), expected) << defaults.stringForKey("k").value_or("?");
    }
    EXPECT_FALSE(defaults.boolForKey("missing"));
}

TEST(DefaultsReadRulesTest, NumbersAndStrings) {
    testing::InMemoryDefaults defaults;
    EXPECT_EQ(defaults.doubleForKey("missing"), 0.0);
    EXPECT_EQ(defaults.integerForKey("missing"), 0);
    defaults.setDouble("d", -3.9);
    EXPECT_EQ(defaults.integerForKey("d"), -3);
    defaults.setDouble("d", 1e300);
    EXPECT_EQ(defaults.integerForKey("d"), std::numeric_limits<std::int64_t>::max());
    defaults.setString("s", " 42 ");
    EXPECT_EQ(defaults.integerForKey("s"), 42);
    EXPECT_EQ(defaults.doubleForKey("s"), 42.0);
    defaults.setString("s", "2.75");
    EXPECT_EQ(defaults.integerForKey("s"), 2);
    defaults.setString("s", "many");
    EXPECT_EQ(defaults.doubleForKey("s"), 0.0);
    defaults.setInteger("i", 12);
    EXPECT_EQ(defaults.stringForKey("i"), "12");
    defaults.setDouble("d", 0.5);
    EXPECT_EQ(defaults.stringForKey("d"), "0.5");
    defaults.setDate("t", Date{1});
    EXPECT_EQ(defaults.stringForKey("t"), std::nullopt);
    EXPECT_EQ(defaults.dateForKey("t"), Date{1});
    EXPECT_EQ(defaults.dateForKey("i"), std::nullopt);
    EXPECT_EQ(defaults.dataForKey("i"), std::nullopt);
}

TEST(DefaultsSuiteFileTest, SuiteNamesCannotLeaveTheConfigFolder) {
    const fs::path file = JsonFileDefaults::suiteFile("../../etc/passwd");
    EXPECT_EQ(file.parent_path().filename(), "tumblewick");
    EXPECT_EQ(JsonFileDefaults::suiteFile("standard").filename(), "standard.json");
}

}  // namespace
}  // namespace tw
