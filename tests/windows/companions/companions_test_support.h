#pragma once
// Where the companion windows' tests leave their pictures.
#include <cstdlib>
#include <filesystem>

namespace tw::testing {

inline std::filesystem::path companionsOutputFolder() {
    const char* root = std::getenv("TW_TEST_OUTPUT_DIR");
    const auto folder = std::filesystem::path(root ? root : "/tmp") / "companions";
    std::filesystem::create_directories(folder);
    return folder;
}

}  // namespace tw::testing
