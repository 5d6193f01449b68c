#include "shell/tray.h"

namespace quillon {

namespace {
std::string fit(const std::string& tip) { return tip.substr(0, 63); }
}  // namespace

void clsTray::ShowIcon(controls::Form& owner) {
  host_.trayIcon(owner, controls::FormHost::TrayOp::Add, fit(owner.caption()));
  bRunningInTray = true;
}

void clsTray::RemoveIcon(controls::Form& owner) {
  host_.trayIcon(owner, controls::FormHost::TrayOp::Delete, "");
  bRunningInTray = false;
}

void clsTray::Balloon(controls::Form& owner, const std::string& title, const std::string& text) {
  if (bRunningInTray) host_.trayBalloon(owner, title, text);
}

void clsTray::ChangeToolTip(controls::Form& owner, const std::string& text) {
  if (!bRunningInTray) return;
  host_.trayIcon(owner, controls::FormHost::TrayOp::Modify, fit(text));
}

}  // namespace quillon
