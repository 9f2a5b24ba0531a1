#pragma once
// Points in time as seconds since 2001-01-01T00:00:00Z, the epoch every stored
// timestamp of the app uses, plus ISO 8601 text for the troupe formats.
#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

struct Date {
    double seconds = 0;  // since 2001-01-01T00:00:00Z

    static constexpr double kUnixOffset = 978307200.0;  // 2001-01-01 in Unix time

    static Date fromUnix(double unixSeconds) { return Date{unixSeconds - kUnixOffset}; }
    double toUnix() const { return seconds + kUnixOffset; }

    Date adding(double interval) const { return Date{seconds + interval}; }
    double since(Date other) const { return seconds - other.seconds; }

    friend auto operator<=>(const Date&, const Date&) = default;
    friend bool operator==(const Date&, const Date&) = default;
};

// "2025-02-03T04:05:06Z": whole seconds, fractions floored (never rounded up).
// Dates outside years 0001..9999 or non-finite ones have no text: nullopt.
std::optional<std::string> iso8601String(Date date);

// Strict reader of "yyyy-MM-ddTHH:mm:ssZ" (also accepts a fraction before the Z,
// which is kept). Rejects impossible dates (2025-02-30), hour 24, offsets other than Z.
std::optional<Date> parseIso8601(std::string_view text);

}  // namespace tw
