#include "common/datetime.h"

#include <cstdio>

#include "common/text.h"

namespace quillon {

std::string formatDateTime(const DateTime& t) {
  int h12 = t.hour % 12;
  if (h12 == 0) h12 = 12;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d/%d/%d %d:%02d:%02d %s", t.month, t.day, t.year, h12,
                t.minute, t.second, t.hour < 12 ? "AM" : "PM");
  return buf;
}

namespace {
// "h:mm[:ss]" on the 24-hour clock, or followed by AM or PM on the 12-hour clock (hours 1 to 12).
// Anything else after the time is refused rather than ignored: "1:05 PM" must not read as 1:05.
bool parseTime(const std::string& s, DateTime& out) {
  int h = 0, m = 0, sec = 0, used = 0;
  if (std::sscanf(s.c_str(), "%d:%d%n", &h, &m, &used) != 2) return false;
  std::string rest = s.substr(size_t(used));
  if (!rest.empty() && rest[0] == ':') {
    if (std::sscanf(rest.c_str(), ":%d%n", &sec, &used) != 1) return false;
    rest = rest.substr(size_t(used));
  }
  const std::string ap = toUpper(trim(rest));
  if (ap == "AM" || ap == "PM") {
    if (h < 1 || h > 12) return false;
    h = h % 12 + (ap == "PM" ? 12 : 0);
  } else if (!ap.empty()) {
    return false;
  }
  if (h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59) return false;
  out.hour = h, out.minute = m, out.second = sec;
  return true;
}
}  // namespace

bool parseDateTime(const std::string& text, DateTime& out) {
  std::string s = trim(text);
  DateTime t;
  size_t slash = s.find('/');
  if (slash == std::string::npos) {
    if (!parseTime(s, t)) return false;
    out = t;
    return true;
  }
  int mo = 0, d = 0, y = 0, used = 0;
  if (std::sscanf(s.c_str(), "%d/%d/%d%n", &mo, &d, &y, &used) != 3) return false;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || y < 100) return false;
  t.year = y, t.month = mo, t.day = d;
  std::string rest = trim(s.substr(used));
  if (!rest.empty() && !parseTime(rest, t)) return false;
  out = t;
  return true;
}

long long daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe;
}

DateTime civilFromDays(long long z) {
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  DateTime t;
  t.day = int(doy - (153 * mp + 2) / 5 + 1);
  t.month = int(mp < 10 ? mp + 3 : mp - 9);
  t.year = int(yoe + era * 400 + (t.month <= 2));
  return t;
}

long long secondsOf(const DateTime& t) {
  return daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600LL + t.minute * 60LL + t.second;
}

int weekdayOf(const DateTime& t) {
  // Sakamoto's method: the month offsets of a year that starts in March.
  static const int offset[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  int y = t.year - (t.month < 3 ? 1 : 0);
  int m = t.month >= 1 && t.month <= 12 ? t.month : 1;
  return ((y + y / 4 - y / 100 + y / 400 + offset[m - 1] + t.day) % 7 + 7) % 7;
}

}  // namespace quillon
