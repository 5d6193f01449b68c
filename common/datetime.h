// The one text form of dates and times that the program writes and reads back, whatever the
// locale: "3/16/2006 12:00:00 AM" (month/day/year, 12-hour clock). Midnight with no time
// part prints as the date alone would in other programs; we always print the time so that
// every stored value parses the same way.
#pragma once
#include <string>

namespace quillon {

struct DateTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
  bool operator==(const DateTime& o) const {
    return year == o.year && month == o.month && day == o.day && hour == o.hour &&
           minute == o.minute && second == o.second;
  }
};

std::string formatDateTime(const DateTime& t);
// 0 Sunday .. 6 Saturday, from the date alone (proleptic Gregorian calendar).
int weekdayOf(const DateTime& t);
// Accepts the form above; also a date alone ("3/16/2006") or a time alone ("1:05:00 PM").
bool parseDateTime(const std::string& text, DateTime& out);

// Days since 1 March of year 0 in the proleptic Gregorian calendar, and back (the time of day
// left at midnight).
long long daysFromCivil(int y, int m, int d);
DateTime civilFromDays(long long days);
// Seconds on one scale for every date and time: their differences are the times between them.
long long secondsOf(const DateTime& t);

}  // namespace quillon
