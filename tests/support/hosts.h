// The doubles that tests, benchmarks and fuzz targets share: the answers of a user who is not
// there, a message loop and clock the caller controls, and hosts that show nothing or record
// what they were told. Nothing here reaches the system, so it builds for the native fuzz
// project as well as for Windows.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "removal/removal.h"
#include "scan/scan_state.h"

namespace quillon::test {

struct ShownBox {
  std::string text, title;
  unsigned flags;
};

class FakeDialogs : public Dialogs {
 public:
  std::vector<ShownBox> shown;
  // Answers a box; by default its first button (OK, Yes, Abort).
  std::function<int(const ShownBox&)> answer;
  int messageBox(const std::string& text, const std::string& title, unsigned flags) override {
    shown.push_back({text, title, flags});
    if (answer) return answer(shown.back());
    switch (flags & 0xF) {
      case kMbAbortRetryIgnore: return kIdAbort;
      case kMbYesNo:
      case kMbYesNoCancel: return kIdYes;
      default: return kIdOk;
    }
  }
};

class FakePump : public Pump {
 public:
  int yields = 0;
  std::function<void(int)> onYield;  // gets the yield's number, from 1
  void yield() override {
    ++yields;
    if (onYield) onYield(yields);
  }
};

class FakeClock : public Clock {
 public:
  std::string now = "1/2/2026 3:04:05 PM";
  std::string nowText() override { return now; }
  DateTime time{2026, 1, 2, 15, 4, 5};
  DateTime localTime() override { return time; }
};

// A scan's host that nobody watches: no status text is built, and the run stops only when
// `cancelled` is set.
class QuietScanHost : public ScanHost {
 public:
  std::string prefix;
  bool cancelled = false;
  void updateScanStatus(const std::string&, int, int) override {}
  bool statusDue() const override { return false; }
  bool scanCancelled() const override { return cancelled; }
  const std::string& statusPrefix() const override { return prefix; }
};

// A scan's host that builds every status text and keeps count: the run stops when `cancelled`
// is set or once `stopAfter` updates have come (when not negative).
class RecordingScanHost : public ScanHost {
 public:
  std::string prefix = "Scanning: ", lastShown;
  int updates = 0, stopAfter = -1;
  bool cancelled = false;
  void updateScanStatus(const std::string& text, int, int) override {
    ++updates;
    if (!text.empty()) lastShown = text;
  }
  bool statusDue() const override { return true; }
  bool scanCancelled() const override { return cancelled || (stopAfter >= 0 && updates >= stopAfter); }
  const std::string& statusPrefix() const override { return prefix; }
};

// A removal's host that shows nothing and keeps what could not be removed.
class QuietRemovalHost : public RemovalHost {
 public:
  std::vector<std::string> failed;
  void showProgress(const std::string&, int, int) override {}
  void showItem(const std::string&) override {}
  void deleteFailed(const std::vector<std::string>& paths) override { failed.insert(failed.end(), paths.begin(), paths.end()); }
};

}  // namespace quillon::test
