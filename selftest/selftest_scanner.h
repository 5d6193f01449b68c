// The self-test's scans and removals: a session of its own, on the self-test's own application
// folder and settings, running the same scan and removal as everywhere else.
#pragma once
#include <functional>
#include <string>

#include "platform/platform.h"
#include "selftest/selftest.h"

namespace quillon {

class SelfTestScanner : public SelfTestHost {
 public:
  // Questions about the samples are answered silently: Yes or OK (Abort and Cancel where
  // repeating could go on for ever). No restore point is made for the samples.
  SelfTestScanner(Platform& platform, Branding branding);
  std::function<void(bool held, const std::string& text)> onStep;

  void step(bool held, const std::string& text) override {
    if (onStep) onStep(held, text);
  }
  SelfTestScan scan(const std::string& appFolder, const std::string& settingsName, bool remove) override;

 private:
  struct NoRestorePoint : SystemRestore {
    bool setRestorePoint(const RestorePointRequest&, int64_t&) override { return false; }
  };
  struct AnswerYes : Dialogs {
    int messageBox(const std::string&, const std::string&, unsigned flags) override;
  };
  NoRestorePoint noRestore_;
  AnswerYes answerYes_;
  Platform platform_;
  Branding branding_;
};

}  // namespace quillon
