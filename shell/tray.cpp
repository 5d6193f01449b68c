#include "shell/tray.h"

namespace quillon {

namespace {
std::string fit(const std::string& tip) { return tip.substr(0, 63); }
}  // namespace

void clsTray::ShowIcon(ui::Form& owner) {
  host_.trayIcon(owner, ui::FormHost::TrayOp::Add, fit(owner.caption()));
  bRunningInTray = true;
}

void clsTray::RemoveIcon(ui::Form& owner) {
  host_.trayIcon(owner, ui::FormHost::TrayOp::Delete, "");
  bRunningInTray = false;
}

void clsTray::ChangeToolTip(ui::Form& owner, const std::string& text) {
  if (!bRunningInTray) return;
  host_.trayIcon(owner, ui::FormHost::TrayOp::Modify, fit(text));
}

}  // namespace quillon
