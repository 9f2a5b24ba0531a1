#include "platform/calendar.h"

#include <unicode/datefmt.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <utility>

#include "platform/log.h"

namespace tw {

namespace {

UDate toUDate(Date date) { return date.toUnix() * 1000.0; }
Date fromUDate(UDate udate) { return Date::fromUnix(udate / 1000.0); }

std::string utf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

bool isUnknown(const icu::TimeZone& zone) { return zone == icu::TimeZone::getUnknown(); }

// $TZ is read here because ICU settles its default zone once per process.
icu::TimeZone* systemZone() {
    if (const char* tz = std::getenv("TZ"); tz != nullptr && tz[0] != '\0') {
        std::string id = tz[0] == ':' ? tz + 1 : tz;
        if (auto pos = id.find("zoneinfo/"); pos != std::string::npos) id = id.substr(pos + 9);
        icu::TimeZone* zone = icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(id));
        if (!isUnknown(*zone)) return zone;
        delete zone;
    }
    return icu::TimeZone::createDefault();
}

// "de_DE.UTF-8@euro" -> "de_DE"; "C" and "POSIX" name no language.
std::optional<std::string> environmentLocale() {
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || value[0] == '\0') continue;
        std::string id = value;
        id = id.substr(0, id.find_first_of(".@"));
        if (id.empty() || id == "C" || id == "POSIX") return std::nullopt;
        return id;
    }
    return std::nullopt;
}

}  // namespace

struct Calendar::Impl {
    std::string zoneId;
    std::unique_ptr<icu::Calendar> calendar;  // Gregorian, so day keys never change era or year count
    icu::Locale patternLocale;
    icu::Locale textLocale;
    // Building an ICU formatter costs far more than formatting with one, so each
    // pattern's formatter is built once; a copy starts empty and builds its own.
    // Callers use a handful of fixed patterns; the bound only guards against misuse.
    static constexpr std::size_t kMaxCachedPatterns = 32;
    mutable std::map<std::string, std::unique_ptr<icu::SimpleDateFormat>, std::less<>> patternFormatters;
    mutable std::unique_ptr<icu::DateFormat> fullDateFormatter;
    mutable std::unique_ptr<icu::DateFormat> shortTimeFormatter;

    Impl() = default;
    Impl(const Impl& other)
        : zoneId(other.zoneId),
          calendar(other.calendar->clone()),
          patternLocale(other.patternLocale),
          textLocale(other.textLocale) {}

    // Patterns without a formatter (ICU refused them) are not cached, so each use logs.
    icu::SimpleDateFormat* formatterFor(const std::string& pattern) const {
        if (auto it = patternFormatters.find(pattern); it != patternFormatters.end()) return it->second.get();
        if (patternFormatters.size() >= kMaxCachedPatterns) patternFormatters.clear();
        UErrorCode status = U_ZERO_ERROR;
        auto formatter = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString::fromUTF8(pattern),
                                                                 patternLocale, status);
        if (U_FAILURE(status)) return nullptr;
        formatter->adoptCalendar(calendar->clone());  // Gregorian whatever the locale's own calendar
        return patternFormatters.emplace(pattern, std::move(formatter)).first->second.get();
    }
    // Locale styles of the text locale in this calendar's zone, built on first use.
    icu::DateFormat* styleFormatter(std::unique_ptr<icu::DateFormat>& slot, bool date) const {
        if (!slot) {
            slot.reset(date ? icu::DateFormat::createDateInstance(icu::DateFormat::kFull, textLocale)
                            : icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, textLocale));
            if (slot) slot->setTimeZone(calendar->getTimeZone());
        }
        return slot.get();
    }

    // Positions the calendar; false for dates ICU cannot hold.
    bool setTo(Date date) const {
        if (!std::isfinite(date.seconds)) return false;
        UErrorCode status = U_ZERO_ERROR;
        calendar->setTime(toUDate(date), status);
        return U_SUCCESS(status);
    }
    // The calendar's field, already positioned; `fallback` when ICU cannot compute it.
    int positionedField(UCalendarDateFields which, int fallback) const {
        UErrorCode status = U_ZERO_ERROR;
        const int value = calendar->get(which, status);
        return U_SUCCESS(status) ? value : fallback;
    }
    int field(Date date, UCalendarDateFields which, int fallback) const {
        return setTo(date) ? positionedField(which, fallback) : fallback;
    }
    // The civil day holding `date`: (extended year, day of year), 0 for what ICU cannot compute.
    std::pair<int, int> dayOf(Date date) const {
        if (!setTo(date)) return {0, 0};
        return {positionedField(UCAL_EXTENDED_YEAR, 0), positionedField(UCAL_DAY_OF_YEAR, 0)};
    }
    // Formats through this calendar, positioned at `date`: ICU's own format(UDate)
    // clones its calendar on every call, which costs as much as the formatting.
    std::string formatWith(const icu::DateFormat& formatter, Date date) const {
        if (!setTo(date)) return {};
        icu::UnicodeString text;
        icu::FieldPosition position;
        formatter.format(*calendar, text, position);
        return utf8(text);
    }
};

Calendar::Calendar(const std::string& timeZoneId, const std::string& localeId)
    : impl_(std::make_unique<Impl>()) {
    icu::TimeZone* zone = timeZoneId.empty()
                              ? systemZone()
                              : icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZoneId));
    if (isUnknown(*zone)) {
        log::warning("Unknown time zone \"" + timeZoneId + "\"; using UTC");
        delete zone;
        zone = icu::TimeZone::createTimeZone("UTC");
    }
    icu::UnicodeString id;
    impl_->zoneId = utf8(zone->getID(id));

    if (localeId.empty()) {
        impl_->patternLocale = icu::Locale("en_US_POSIX");
        auto environment = environmentLocale();
        impl_->textLocale = icu::Locale(environment.value_or("en_US").c_str());
    } else {
        impl_->patternLocale = icu::Locale(localeId.c_str());
        impl_->textLocale = impl_->patternLocale;
    }

    UErrorCode status = U_ZERO_ERROR;
    auto calendar =
        std::make_unique<icu::GregorianCalendar>(zone, impl_->patternLocale, status);  // adopts zone
    if (U_FAILURE(status)) {
        log::warning(std::string("Calendar could not be created: ") + u_errorName(status) + "; using UTC");
        status = U_ZERO_ERROR;
        calendar = std::make_unique<icu::GregorianCalendar>(icu::TimeZone::createTimeZone("UTC"),
                                                            icu::Locale("en_US_POSIX"), status);
        impl_->zoneId = "UTC";
    }
    // Where midnight is skipped by a clock change, the day starts at the first real instant.
    calendar->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
    calendar->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
    impl_->calendar = std::move(calendar);
}

Calendar::~Calendar() = default;

Calendar::Calendar(const Calendar& other) : impl_(std::make_unique<Impl>(*other.impl_)) {}

Calendar& Calendar::operator=(const Calendar& other) {
    if (this != &other) impl_ = std::make_unique<Impl>(*other.impl_);
    return *this;
}

const std::string& Calendar::timeZoneId() const { return impl_->zoneId; }

Date Calendar::startOfDay(Date date) const {
    if (!impl_->setTo(date)) return date;
    icu::Calendar& calendar = *impl_->calendar;
    calendar.set(UCAL_HOUR_OF_DAY, 0);
    calendar.set(UCAL_MINUTE, 0);
    calendar.set(UCAL_SECOND, 0);
    calendar.set(UCAL_MILLISECOND, 0);
    UErrorCode status = U_ZERO_ERROR;
    const UDate start = calendar.getTime(status);
    return U_SUCCESS(status) ? fromUDate(start) : date;
}

Date Calendar::startOfNextDay(Date date) const {
    const Date start = startOfDay(date);
    if (!impl_->setTo(start)) return date;
    UErrorCode status = U_ZERO_ERROR;
    impl_->calendar->add(UCAL_DATE, 1, status);
    const UDate next = impl_->calendar->getTime(status);
    if (U_FAILURE(status)) return date;
    return startOfDay(fromUDate(next));
}

int Calendar::hour(Date date) const { return impl_->field(date, UCAL_HOUR_OF_DAY, 0); }

int Calendar::minute(Date date) const { return impl_->field(date, UCAL_MINUTE, 0); }

int Calendar::weekday(Date date) const { return impl_->field(date, UCAL_DAY_OF_WEEK, 1); }

bool Calendar::isSameDay(Date a, Date b) const {
    if (!std::isfinite(a.seconds) || !std::isfinite(b.seconds)) return false;
    return impl_->dayOf(a) == impl_->dayOf(b);
}

std::string Calendar::format(Date date, const std::string& pattern) const {
    icu::SimpleDateFormat* formatter = impl_->formatterFor(pattern);
    if (formatter == nullptr) {
        log::warning("Bad date pattern \"" + pattern + "\"");
        return {};
    }
    return impl_->formatWith(*formatter, date);
}

std::string Calendar::fullDateText(Date date) const {
    icu::DateFormat* formatter = impl_->styleFormatter(impl_->fullDateFormatter, true);
    return formatter == nullptr ? std::string() : impl_->formatWith(*formatter, date);
}

std::string Calendar::shortTimeText(Date date) const {
    icu::DateFormat* formatter = impl_->styleFormatter(impl_->shortTimeFormatter, false);
    return formatter == nullptr ? std::string() : impl_->formatWith(*formatter, date);
}

}  // namespace tw
