// The program's icon in the notification area while its main window is hidden.
#pragma once
#include <string>

#include "controls/form_host.h"

namespace quillon {

class clsTray {
 public:
  explicit clsTray(controls::FormHost& host) : host_(host) {}
  // Adds the icon, with the window's caption as its tip.
  void ShowIcon(controls::Form& owner);
  void RemoveIcon(controls::Form& owner);
  // Only while the icon is shown; the tip is cut to the 63 characters that fit.
  void ChangeToolTip(controls::Form& owner, const std::string& text);
  // A balloon from the icon, only while it is shown.
  void Balloon(controls::Form& owner, const std::string& title, const std::string& text);
  bool bRunningInTray = false;

 private:
  controls::FormHost& host_;
};

}  // namespace quillon
