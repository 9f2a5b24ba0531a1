// Arbitrary bytes as a defaults file. What decodes must encode again and decode to
// the same values; entries this build cannot read must survive a rewrite verbatim.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/defaults.h"
#include "platform/defaults_file_format.h"
#include "platform/log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tw::log::setSinkForTesting([](std::string_view) {});  // skipped entries log once per run otherwise
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    // The public pair: values only.
    std::map<std::string, tw::DefaultsValue> values;
    try {
        values = tw::decodeDefaultsFile(input);
    } catch (const std::runtime_error&) {
        return 0;  // documented: not a defaults file
    }
    std::string first;
    try {
        first = tw::encodeDefaultsFile(values);
    } catch (const tw::JsonEncodeError&) {
        std::abort();  // a value that was read but cannot be written back would be lost on the next save
    }
    if (tw::decodeDefaultsFile(first) != values) std::abort();
    if (tw::encodeDefaultsFile(tw::decodeDefaultsFile(first)) != first) std::abort();

    // The file as the store rewrites it: readable values and raw leftovers together.
    const tw::defaults_file::Contents contents = tw::defaults_file::decode(input, false);
    if (contents.values != values) std::abort();
    const std::string rewritten = tw::defaults_file::encode(contents);
    const tw::defaults_file::Contents again = tw::defaults_file::decode(rewritten, false);
    if (again.values != contents.values || again.unreadable != contents.unreadable ||
        again.entriesWithUnreadableKeys != contents.entriesWithUnreadableKeys)
        std::abort();
    if (tw::defaults_file::encode(again) != rewritten) std::abort();
    return 0;
}
