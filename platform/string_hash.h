#pragma once
// String hashes. The salted one differs from process to process (seeded once at
// start-up), like the platform hash the behaviour was tuned with; code that needs
// it takes a StringHashFunction so tests can pin it.
#include <cstdint>
#include <functional>
#include <string_view>

namespace tw {

using StringHashFunction = std::function<std::int64_t(std::string_view)>;

// Salted per process; stable within one run.
std::int64_t processSaltedStringHash(std::string_view text);
// The default function object wrapping processSaltedStringHash.
StringHashFunction processStringHashFunction();

// Classic djb2 (h = h * 33 + byte, from 5381) over the UTF-8 bytes, wrapping.
std::uint64_t djb2Hash(std::string_view text);

}  // namespace tw
