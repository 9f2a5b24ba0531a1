// Arbitrary bytes as the dialogue cache file. Whatever decodes must be written again
// by the next save and read back to the same entries, in the same order.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dialogue/dialogue_cache.h"
#include "platform/json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::pair<std::string, tw::DialogueCache::Entry>> entries;
    try {
        entries = tw::DialogueCache::decodeFile(input);
    } catch (const tw::JsonDecodeError&) {
        return 0;
    }
    std::string first;
    try {
        first = tw::DialogueCache::encodeFile(entries);
    } catch (const tw::JsonEncodeError&) {
        std::abort();  // an entry that loads but cannot be saved would break every later save
    }
    const auto reread = tw::DialogueCache::decodeFile(first);
    if (reread != entries) std::abort();
    if (tw::DialogueCache::encodeFile(reread) != first) std::abort();
    return 0;
}
