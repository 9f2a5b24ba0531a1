// A settings suite kept in a JSON file: values and entries of other programs survive its
// rewrites, and a file that cannot be read or parsed is never lost.
#include "platform/defaults.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/json.h"
#include "tests/platform/defaults_test_support.h"

namespace tw {
namespace {

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

}  // namespace
}  // namespace tw
