// Arbitrary bytes as a troupe log. The reader must find the same events whatever the
// size of the blocks it reads, and each event must be what its own line decodes to.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "troupe/store/troupe_log_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("tw-log-fuzz-" + std::to_string(::getpid()) + ".jsonl");
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;

    const tw::TroupeLoadedLog whole = tw::readTroupeLog(file, 4096);
    const std::size_t block = size == 0 ? 1 : data[0] % 61 + 1;
    const tw::TroupeLoadedLog pieces = tw::readTroupeLog(file, 4096, block);
    if (pieces.events != whole.events || pieces.offsets != whole.offsets ||
        pieces.skippedLines != whole.skippedLines || whole.endOffset != size)
        std::abort();
    for (std::size_t i = 0; i < whole.events.size(); ++i) {
        const auto start = static_cast<std::size_t>(whole.offsets[i]);
        const auto end = bytes.find('\n', start);
        const std::string line =
            bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (tw::decodeTroupeLogLine(line) != whole.events[i]) std::abort();
    }
    return 0;
}
