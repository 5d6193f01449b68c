// Scheduled scans: the schedule the user applied on the "Scheduled Scans" tab, how it is stored,
// and the decision, on each tick of the main window's scheduler timer, whether a scan is due.
//
// A schedule names occurrences (a day and a second of it). Each occurrence runs at most once:
// when its second was missed (the machine was busy or suspended, a scan was running, the timer
// was late or stopped) it runs as soon as a tick notices, once; the occurrence last run is kept
// in the settings so that a restart within the same second does not run it again.
#pragma once
#include <optional>
#include <string>

#include "common/datetime.h"
#include "platform/platform.h"
#include "scan/found_summary.h"
#include "system/settings.h"

namespace quillon {

// Positions of the "Run on:" list; the position is what is stored. 0 to 6 are Monday to Sunday.
enum ScheduleDay : int { kMonday = 0, kSunday = 6, kDaily = 7, kDateAndTime = 8, kNever = 9 };

struct Schedule {
  bool enabled = false;
  int day = kDaily;
  // The pickers' values in the program's date-time text; empty when the picker holds none.
  std::string date, time;
  bool operator==(const Schedule& o) const {
    return enabled == o.enabled && day == o.day && date == o.date && time == o.time;
  }
};

// The latest moment at or before `now` at which the schedule falls due; none when it is switched
// off, set to "Never!", has no valid time, or its one date and time are still to come.
std::optional<DateTime> latestOccurrence(const Schedule& s, const DateTime& now);

// What a scheduled scan that removes what it finds says afterwards: what it found, in the words
// the window uses for it, and how much of the removal list went and stayed (`notRemoved` rows);
// `stopped` when the scan was stopped before its end, so that nothing was removed.
std::string scheduledRemovalSummary(const FoundCounts& found, int notRemoved, bool stopped);

class SchedulerHost {
 public:
  virtual ~SchedulerHost() = default;
  // True while something runs that a scheduled scan must wait for (a scan, a removal, an update).
  virtual bool schedulerMustWait() const = 0;
  // Runs one whole scan and returns when it has ended; with deleteFound everything it finds is
  // removed without a question.
  virtual void runScheduledScan(bool deleteFound) = 0;
};

struct SchedulerEnv {
  Settings& settings;
  Clock& clock;
};

enum class ApplyResult { Saved, NeedDate, NeedTime };

class Scheduler {
 public:
  Scheduler(SchedulerEnv env, SchedulerHost& host) : env_(env), host_(host) {}

  // The stored schedule; *saved is false when none was ever applied.
  Schedule stored(bool* saved = nullptr) const;
  // Takes the stored schedule and watches it from this second on: an occurrence before the
  // program started is not run.
  void load();
  // Stores the schedule when it can fire (a firing schedule needs its time, and "Date & Time"
  // its date too); a schedule switched off keeps its stored day, date and time. A changed
  // schedule is watched from now on, so applying never runs an occurrence already past.
  ApplyResult apply(const Schedule& s);
  // The firing test: runs the due occurrence, if any; true when it did.
  bool tick();

  const Schedule& schedule() const { return schedule_; }

 private:
  SchedulerEnv env_;
  SchedulerHost& host_;
  Schedule schedule_;
  long long watchFrom_ = 0;
  std::optional<long long> lastRun_;
  bool running_ = false;
};

}  // namespace quillon
