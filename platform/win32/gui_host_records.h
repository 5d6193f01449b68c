// The records of the window host, shared by its files: one per bound control and one per form
// window (kept in that window's user data).
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/gui_host.h"
#include "platform/win32/gui_kinds.h"

namespace quillon::win32 {

// A bound control: observing its control, it mirrors every change without a lookup.
struct GuiHost::ControlRec : Bound, controls::ControlObserver {
  GuiHost* host = nullptr;
  FormWin* form = nullptr;
  const KindOps* ops = nullptr;
  void changed(controls::Control&, controls::Change what, int row) override { host->mirror(*this, what, row); }
};

struct GuiHost::FormWin {
  GuiHost* host = nullptr;
  controls::Form* form = nullptr;
  HWND hwnd = nullptr;
  FormWin* owner = nullptr;  // the form whose window owns this one, if any
  std::function<void()> onClose;
  std::vector<std::unique_ptr<ControlRec>> controls;
  bool ready = false;     // the window and its controls are made: the model is in charge
  bool trayIcon = false;  // the notification-area icon is this window's
  bool enabled = true;    // the form's enabled state as last mirrored to the window
};

// The tray icon reports mouse actions with a message of its own, so that an ordinary mouse
// move over the window can never be taken for a click on the icon.
constexpr UINT kTrayMessage = WM_APP + 1;
// Adds, changes or deletes the window's notification-area icon (op: NIM_ADD, ...).
void setTrayIcon(HWND h, DWORD op, const std::string& tip);

}  // namespace quillon::win32
