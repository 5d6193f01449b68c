// The self-test a user can run: it plants a harmless sample of every kind the program handles
// in places of its own (a folder under the user's application data, a key under the user's
// "Software", one cookie file in the cookie folder the scan reads, a running program), scans
// for them with a definition set of its own, removes them into a quarantine of its own,
// restores each and checks every byte and value, removes them again and cleans up. It never
// reads the user's definitions, exclusions, settings or quarantine, and stops before removing
// anything when a finding is not one of its samples.
#pragma once
#include <string>
#include <vector>

#include "platform/platform.h"
#include "scan/scan_results.h"

namespace quillon {

// What one scan (and, asked to, the removal of everything it found) gave.
struct SelfTestScan {
  bool looked = false;                // the run got past the definition check
  std::vector<RemovalRow> findings;   // the removal list after the scan
  std::vector<std::string> rows;      // the results list after the scan (notes included)
  int left = -1;                      // findings still listed after the removal
};

class SelfTestHost {
 public:
  virtual ~SelfTestHost() = default;
  // One line per step, as it is decided.
  virtual void step(bool held, const std::string& text) = 0;
  // The program's own scan with `appFolder` as its application folder (its definitions and
  // quarantine, no exclusions) and settings of `settingsName`; with `remove`, then the removal
  // of everything found, answered Yes.
  virtual SelfTestScan scan(const std::string& appFolder, const std::string& settingsName, bool remove) = 0;
};

struct SelfTestEnv {
  Platform& platform;
  std::string productName;
  // The program copied and started as the running sample, and the switch that makes it wait.
  std::string waiterProgram, waiterSwitch;
};

// True when every step held. Whatever happened, what it planted is gone when it returns (a
// last step says so, or names what could not be removed).
bool runSelfTest(const SelfTestEnv& env, SelfTestHost& host);

// The self-test's own places, so that tests and the cleanup agree on them.
std::string selfTestName(const std::string& productName);  // "Quillon Self-Test"
std::string selfTestRegistryKey(const std::string& productName);  // under HKEY_CURRENT_USER

}  // namespace quillon
