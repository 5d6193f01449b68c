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
bool parseTime(const std::string& s, DateTime& out) {
  int h = 0, m = 0, sec = 0;
  char ampm[3] = {0};
  int n = std::sscanf(s.c_str(), "%d:%d:%d %2s", &h, &m, &sec, ampm);
  if (n < 2) return false;
  std::string ap = toUpper(ampm);
  if (ap == "PM" && h < 12) h += 12;
  if (ap == "AM" && h == 12) h = 0;
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

}  // namespace quillon
