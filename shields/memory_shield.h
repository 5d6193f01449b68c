// The memory shield: between scans, every ten seconds, the memory inspection runs again and
// each running program that the definitions name is put to the user: stop it, or allow it from
// now on (it joins the exclusion list).
#pragma once
#include <cstdint>
#include <string>

#include "definitions/exclusions.h"
#include "platform/platform.h"
#include "system/settings.h"

namespace quillon {

struct MemoryShieldEnv {
  Platform& platform;
  Settings& settings;
  ExclusionList& exclusions;
  std::string productName;
};

// What the shield needs from the window that owns it.
class MemoryShieldHost {
 public:
  virtual ~MemoryShieldHost() = default;
  // The memory inspection; outside a scan it hands each finding to MemoryShield::report.
  virtual void inspectMemory() = 0;
  // Shows the alert with its two texts and returns once it is off the screen again (answered
  // or closed). The main window takes no input meanwhile.
  virtual void showAlert(const std::string& fileName, const std::string& companyText) = 0;
  virtual void closeAlert() = 0;
};

class MemoryShield {
 public:
  MemoryShield(MemoryShieldEnv env, MemoryShieldHost& host) : env_(std::move(env)), host_(host) {}

  // One tick of the shield's timer: nothing when the shield is switched off.
  void tick();
  // One running listed program, found outside a scan: the alert, and the wait for its answer.
  void report(uint32_t pid, const std::string& name, const std::string& company);
  // STOP: ends the program that was reported (by its id). Says so when it could not be ended.
  void stop();
  // ALLOW: the program's name joins the exclusion list, so the next tick leaves it alone.
  void allow();

  bool alertAnswered() const { return answered_; }
  // What the alert shows as the company: the name, or a note that the file has none.
  static std::string companyText(const std::string& name, const std::string& company);

 private:
  struct Reported {
    uint32_t pid = 0;
    bool startKnown = false;
    uint64_t started = 0;
    std::string name;
  };
  // True when the reported program still runs under its id: ids are reused, and a STOP must
  // never end whatever program got the id after the reported one ended.
  bool stillTheSameProgram() const;

  MemoryShieldEnv env_;
  MemoryShieldHost& host_;
  Reported reported_;
  bool answered_ = true;
};

}  // namespace quillon
