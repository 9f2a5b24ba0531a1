#pragma once
// Files read and written whole, and a fixture giving each test a settings file of its own
// in a fresh folder and the log lines said meanwhile.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/log.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline int countWithPrefix(const fs::path& folder, const std::string& prefix) {
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

}  // namespace
}  // namespace tw
