#include "platform/date.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace tw {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr auto kUnixOffsetSeconds = static_cast<std::int64_t>(Date::kUnixOffset);

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
constexpr std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

constexpr Civil civilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    return Civil{static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

constexpr bool isLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

constexpr unsigned daysInMonth(std::int64_t year, unsigned month) {
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Seconds since 2001 of 0001-01-01T00:00:00Z and of 10000-01-01T00:00:00Z.
constexpr std::int64_t kFirstSecond = daysFromCivil(1, 1, 1) * kSecondsPerDay - kUnixOffsetSeconds;
constexpr std::int64_t kEndSecond = daysFromCivil(10000, 1, 1) * kSecondsPerDay - kUnixOffsetSeconds;

void appendPadded(std::string& out, std::int64_t value, int width) {
    char buffer[8];
    for (int i = width - 1; i >= 0; --i) {
        buffer[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(buffer, static_cast<std::size_t>(width));
}

// Exactly `width` ASCII digits at `pos`.
std::optional<unsigned> digits(std::string_view text, std::size_t pos, std::size_t width) {
    unsigned value = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return value;
}

}  // namespace

std::optional<std::string> iso8601String(Date date) {
    if (!std::isfinite(date.seconds)) return std::nullopt;
    // Floor before leaving the 2001-based scale so a fraction never rounds up.
    const double floored = std::floor(date.seconds);
    if (floored < static_cast<double>(kFirstSecond) || floored >= static_cast<double>(kEndSecond)) {
        return std::nullopt;
    }
    const std::int64_t unixSeconds = static_cast<std::int64_t>(floored) + kUnixOffsetSeconds;
    std::int64_t days = unixSeconds / kSecondsPerDay;
    std::int64_t secondOfDay = unixSeconds % kSecondsPerDay;
    if (secondOfDay < 0) {
        secondOfDay += kSecondsPerDay;
        days -= 1;
    }
    const Civil civil = civilFromDays(days);

    std::string out;
    out.reserve(20);
    appendPadded(out, civil.year, 4);
    out += '-';
    appendPadded(out, civil.month, 2);
    out += '-';
    appendPadded(out, civil.day, 2);
    out += 'T';
    appendPadded(out, secondOfDay / 3600, 2);
    out += ':';
    appendPadded(out, secondOfDay / 60 % 60, 2);
    out += ':';
    appendPadded(out, secondOfDay % 60, 2);
    out += 'Z';
    return out;
}

std::optional<Date> parseIso8601(std::string_view text) {
    // yyyy-MM-ddTHH:mm:ss then an optional .fraction, then Z.
    constexpr std::size_t kBaseLength = 19;
    if (text.size() < kBaseLength + 1 || text.back() != 'Z') return std::nullopt;
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const auto year = digits(text, 0, 4);
    const auto month = digits(text, 5, 2);
    const auto day = digits(text, 8, 2);
    const auto hour = digits(text, 11, 2);
    const auto minute = digits(text, 14, 2);
    const auto second = digits(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    if (*year < 1 || *month < 1 || *month > 12) return std::nullopt;
    if (*day < 1 || *day > daysInMonth(*year, *month)) return std::nullopt;
    if (*hour > 23 || *minute > 59 || *second > 59) return std::nullopt;

    double fraction = 0;
    const std::string_view rest = text.substr(kBaseLength, text.size() - kBaseLength - 1);
    if (!rest.empty()) {
        if (rest.size() < 2 || rest[0] != '.') return std::nullopt;
        std::string number = "0";
        for (char c : rest.substr(1)) {
            if (c < '0' || c > '9') return std::nullopt;
        }
        number += rest;
        auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), fraction);
        if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
    }

    const std::int64_t unixSeconds =
        daysFromCivil(*year, *month, *day) * kSecondsPerDay + *hour * 3600 + *minute * 60 + *second;
    return Date{static_cast<double>(unixSeconds - kUnixOffsetSeconds) + fraction};
}

}  // namespace tw
