#include "platform/number_format.h"

#include <charconv>
#include <cmath>

namespace tw {

std::string formatDouble(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";

    const double magnitude = std::fabs(value);
    const bool exponentForm = magnitude != 0 && (magnitude < 1e-4 || magnitude >= 1e16);

    // Shortest round-trip text; fixed form of values below 1e16 needs at most ~25 chars.
    char buffer[64];
    const auto format = exponentForm ? std::chars_format::scientific : std::chars_format::fixed;
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format);
    std::string text(buffer, result.ptr);
    if (!exponentForm && text.find('.') == std::string::npos) text += ".0";
    return text;
}

}  // namespace tw
