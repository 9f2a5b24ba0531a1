#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

std::array<std::uint8_t, 32> sha256(std::string_view bytes);
std::string sha256Hex(std::string_view bytes);  // 64 lower-case hex digits

}  // namespace tw
