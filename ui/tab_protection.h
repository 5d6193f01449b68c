// The "Proactive System Protection" tab of the settings page: the memory shield and the
// home-page shield on or off, and what the home-page shield does about a changed page.
#pragma once
#include "ui/main_page.h"

namespace quillon::ui {

class TabProtection {
 public:
  explicit TabProtection(PageEnv env);
  void layout(int width, int height);
  void load();

 private:
  void setHomePageShield(bool on);
  PageEnv env_;
  Form* const f_ = &env_.form;

 public:
  Frame frmProtection{f_, "frmProtection", "Proactive System Protection"};
  Label lblMemoryShield{f_, "lblMemoryShield", "Memory shield: stops listed programs that start running"};
  // The box and the two option buttons of a shield show one setting.
  CheckBox chkMemoryShield{f_, "chkMemoryShield", "Enable"};
  OptionButton optMemoryShieldOn{f_, "optMemoryShieldOn", "Enabled", 1};
  OptionButton optMemoryShieldOff{f_, "optMemoryShieldOff", "Disabled", 1};
  Label lblHomePageShield{f_, "lblHomePageShield", "Home-page shield: guards the browser start page"};
  CheckBox chkHomePageShield{f_, "chkHomePageShield", "Enable"};
  OptionButton optHomePageShieldOn{f_, "optHomePageShieldOn", "Enabled", 2};
  OptionButton optHomePageShieldOff{f_, "optHomePageShieldOff", "Disabled", 2};
  OptionButton optAskBeforeRestoring{f_, "optAskBeforeRestoring", "Ask me what I would like to do", 3};
  OptionButton optRestoreSilently{f_, "optRestoreSilently", "Silently restore my original home page", 3};
};

}  // namespace quillon::ui
