#pragma once
// Calendar arithmetic in one time zone, on ICU. Days are civil days of that zone,
// so a day across a DST change lasts 23 or 25 hours.
#include <memory>
#include <string>

#include "platform/date.h"

namespace tw {

class Calendar {
   public:
    // Empty time zone id: the system's zone. An unknown id falls back to UTC with a log line.
    explicit Calendar(const std::string& timeZoneId = "", const std::string& localeId = "");
    ~Calendar();
    Calendar(const Calendar&);
    Calendar& operator=(const Calendar&);

    const std::string& timeZoneId() const;

    Date startOfDay(Date date) const;
    Date startOfNextDay(Date date) const;
    int hour(Date date) const;     // 0..23, local
    int minute(Date date) const;   // 0..59, local
    int weekday(Date date) const;  // 1 = Sunday .. 7 = Saturday
    bool isSameDay(Date a, Date b) const;

    // Local text with an ICU/Unicode pattern, e.g. "yyyy-MM-dd" or "yyyy-MM-dd-HHmmss".
    std::string format(Date date, const std::string& pattern) const;
    std::string dayKey(Date date) const { return format(date, "yyyy-MM-dd"); }
    // Locale texts: a full date ("Monday, December 7, 2026") and a short time ("4:19 AM").
    std::string fullDateText(Date date) const;
    std::string shortTimeText(Date date) const;

   private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tw
