// The "Automatic Live Update" tab of the settings page.
#pragma once
#include "ui/main_page.h"

namespace quillon::ui {

class TabLiveUpdate {
 public:
  explicit TabLiveUpdate(PageEnv env);
  void layout(int width, int height);
  void showLastUpdate();
  void load();

 private:
  PageEnv env_;
  Form* const f_ = &env_.form;

 public:
  Frame frmLiveUpdate{f_, "frmLiveUpdate", "Automatic Live Update"};
  // Designed checked: loading an absent key shows it checked without storing anything, so
  // automatic Live Update is armed only once the user has saved the option.
  CheckBox chkAutomaticUpdate{f_, "chkAutomaticUpdate", "Enable automatic Live update (recommended)", 1};
  Label lblLastUpdate{f_, "lblLastUpdate"};
  Button cmdLiveUpdate{f_, "cmdLiveUpdate", "Run Live Update Now"};
};

}  // namespace quillon::ui
