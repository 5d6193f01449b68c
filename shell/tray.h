// The program's icon in the notification area while its main window is hidden.
#pragma once
#include <string>

#include "ui/form_host.h"

namespace quillon {

class clsTray {
 public:
  explicit clsTray(ui::FormHost& host) : host_(host) {}
  // Adds the icon, with the window's caption as its tip.
  void ShowIcon(ui::Form& owner);
  void RemoveIcon(ui::Form& owner);
  // Only while the icon is shown; the tip is cut to the 63 characters that fit.
  void ChangeToolTip(ui::Form& owner, const std::string& text);
  bool bRunningInTray = false;

 private:
  ui::FormHost& host_;
};

}  // namespace quillon
