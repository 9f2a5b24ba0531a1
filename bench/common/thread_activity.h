#pragma once
// What this process's threads cost while a benchmark waits: the CPU of the whole
// process, the context switches of each thread (a sleeping thread's wake-ups), and the
// resident memory.
#include <sys/types.h>
#include <time.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace tw::bench {

// Every thread's CPU, whoever ran it.
inline double processCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Resident kilobytes: now ("VmRSS:"), or the peak since the last reset ("VmHWM:").
inline std::int64_t residentKB(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field)) return std::stoll(line.substr(std::strlen(field)));
    }
    return 0;
}
inline void resetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Voluntary and involuntary context switches so far, by thread id: a thread that sleeps
// and wakes once switches once.
inline std::map<pid_t, std::int64_t> threadSwitches() {
    std::map<pid_t, std::int64_t> switches;
    std::error_code ignored;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ignored)) {
        std::ifstream status(task.path() / "status");
        std::int64_t total = 0;
        for (std::string line; std::getline(status, line);) {
            for (const char* field : {"voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:"}) {
                if (line.starts_with(field)) total += std::stoll(line.substr(std::string(field).size()));
            }
        }
        switches[static_cast<pid_t>(std::stol(task.path().filename().string()))] = total;
    }
    return switches;
}

// The switches from `before` to `after` of the threads alive at `after` that `counted`
// accepts (a thread that started in between counts from zero; one that ended is lost).
template <typename Counted>
std::int64_t switchesBetween(const std::map<pid_t, std::int64_t>& before,
                             const std::map<pid_t, std::int64_t>& after, Counted counted) {
    std::int64_t total = 0;
    for (const auto& [thread, switches] : after) {
        if (!counted(thread)) continue;
        const auto earlier = before.find(thread);
        total += switches - (earlier == before.end() ? 0 : earlier->second);
    }
    return total;
}

}  // namespace tw::bench
