#include "scheduler/scheduler.h"

#include <algorithm>

namespace quillon {

namespace {

// The day `daysBack` days before `day`, at the given time of day.
DateTime dayAt(const DateTime& day, int daysBack, const DateTime& timeOfDay) {
  DateTime t = civilFromDays(daysFromCivil(day.year, day.month, day.day) - daysBack);
  t.hour = timeOfDay.hour, t.minute = timeOfDay.minute, t.second = timeOfDay.second;
  return t;
}

std::string orNull(const std::string& v) { return v.empty() ? "Null" : v; }
std::string fromNull(const std::string& v) { return v == "Null" ? "" : v; }

}  // namespace

std::optional<DateTime> latestOccurrence(const Schedule& s, const DateTime& now) {
  DateTime time;
  if (!s.enabled || !parseDateTime(s.time, time)) return std::nullopt;
  const long long nowSeconds = secondsOf(now);
  auto due = [&](const DateTime& t) { return secondsOf(t) <= nowSeconds; };
  if (s.day >= kMonday && s.day <= kSunday) {
    // The list starts on Monday, the weekday count on Sunday; a week back always finds one.
    const int weekday = (s.day + 1) % 7;
    for (int back = 0; back <= 7; ++back) {
      DateTime t = dayAt(now, back, time);
      if (weekdayOf(t) == weekday && due(t)) return t;
    }
    return std::nullopt;
  }
  if (s.day == kDaily) {
    DateTime today = dayAt(now, 0, time);
    return due(today) ? today : dayAt(now, 1, time);
  }
  if (s.day == kDateAndTime) {
    DateTime date;
    if (!parseDateTime(s.date, date)) return std::nullopt;
    DateTime t = dayAt(date, 0, time);
    // A day its month does not have ("2/31") names no date: it never falls due.
    if (t.day != date.day) return std::nullopt;
    if (due(t)) return t;
  }
  return std::nullopt;
}

Schedule Scheduler::stored(bool* saved) const {
  Settings& st = env_.settings;
  Schedule s;
  auto on = st.readNumber(keys::chkScheduledScans);
  s.enabled = on && *on != 0;
  const std::string day = st.read(keys::Day);
  if (saved) *saved = day != keys::Day.def;
  if (day != keys::Day.def) {
    // A stored day that is not one of the list's positions never fires.
    auto n = st.readNumber(keys::Day);
    s.day = n && *n >= kMonday && *n <= kNever && *n == double(int(*n)) ? int(*n) : kNever;
  }
  s.time = fromNull(st.read(keys::Time));
  s.date = fromNull(st.read(keys::Date));
  return s;
}

void Scheduler::load() {
  schedule_ = stored();
  watchFrom_ = secondsOf(env_.clock.localTime());
  DateTime last;
  if (parseDateTime(env_.settings.read(keys::LastScheduledScan), last)) lastRun_ = secondsOf(last);
  else lastRun_.reset();
}

ApplyResult Scheduler::apply(const Schedule& s) {
  if (s.enabled && s.day == kDateAndTime && (s.date.empty() || s.time.empty())) return ApplyResult::NeedDate;
  if (s.enabled && s.day >= kMonday && s.day <= kDaily && s.time.empty()) return ApplyResult::NeedTime;
  Settings& st = env_.settings;
  st.write(keys::chkScheduledScans, s.enabled ? "1" : "0");
  if (s.enabled) {
    st.write(keys::Day, std::to_string(s.day));
    st.write(keys::Time, orNull(s.time));
    st.write(keys::Date, orNull(s.date));
  }
  // What fires is what the store holds, read back.
  Schedule now = stored();
  if (!(now == schedule_)) watchFrom_ = secondsOf(env_.clock.localTime());
  schedule_ = now;
  return ApplyResult::Saved;
}

bool Scheduler::tick() {
  if (running_ || !schedule_.enabled) return false;
  const DateTime now = env_.clock.localTime();
  // A run recorded more than a day ahead was recorded by a clock since put right: kept, it would
  // hold back every occurrence until the clock caught up. An hour back, as when summer time
  // ends, keeps it: that occurrence has run.
  if (lastRun_ && *lastRun_ > secondsOf(now) + 86400) lastRun_.reset();
  auto occurrence = latestOccurrence(schedule_, now);
  if (!occurrence) return false;
  const long long at = secondsOf(*occurrence);
  if (at < watchFrom_ || (lastRun_ && at <= *lastRun_)) return false;
  // Due but something else runs: a later tick runs it once that has ended.
  if (host_.schedulerMustWait()) return false;
  // Recorded before the run, so that nothing the run dispatches can start it a second time.
  lastRun_ = at;
  env_.settings.write(keys::LastScheduledScan, formatDateTime(*occurrence));
  running_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{running_};
  host_.runScheduledScan(env_.settings.isOn(keys::chkAutoRemove));
  return true;
}

std::string scheduledRemovalSummary(const FoundCounts& found, int notRemoved, bool stopped) {
  if (stopped) return "Stopped before it ended: nothing was removed.";
  if (foundSummary(found) == "0") return "Nothing found to remove.";
  return foundSummary(found) + ": " + std::to_string(std::max(0, found.toRemove - notRemoved)) + " removed, " +
         std::to_string(notRemoved) + " not removed.";
}

}  // namespace quillon
