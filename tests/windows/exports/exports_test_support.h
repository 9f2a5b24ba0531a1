#pragma once
// Shared by the export tests: a fixed day in New York and scratch folders.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "agent/host/tumblewick_agent_host.h"
#include "platform/calendar.h"
#include "platform/date.h"

namespace tw::testing {

// 2026-12-07 00:00 UTC, a Monday; New York is five hours behind.
inline Date utcDecember7(double hours) { return Date::fromUnix(1796601600.0 + hours * 3600.0); }

inline Calendar newYork() { return Calendar("America/New_York", "en_US"); }

// What a real agent host needs, on the test's queue, clock and settings, in New York.
inline TumblewickAgentHost::Environment hostEnvironment(MainQueue& queue, const Clock& clock,
                                                        Defaults& defaults) {
    TumblewickAgentHost::Environment environment;
    environment.mainQueue = &queue;
    environment.clock = &clock;
    environment.standardDefaults = &defaults;
    environment.calendar = newYork();
    return environment;
}

// A fresh, empty folder under the test output directory.
inline std::filesystem::path scratchFolder(const std::string& name) {
    const char* root = std::getenv("TW_TEST_OUTPUT_DIR");
    std::filesystem::path dir = std::filesystem::path(root ? root : "/tmp") / "exports" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace tw::testing
