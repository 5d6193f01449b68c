// What the window tests share: a window host over the real system, a main window bound to it,
// and the message loop run for a while or until something has happened. Needs a display.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/win32/gui_host.h"
#include "tests/support/fakes.h"

namespace quillon::test {

// Runs the message loop, timers included, until `done` or `ms` have passed; false on time.
inline bool pumpUntil(const std::function<bool()>& done, int ms) {
  for (DWORD start = GetTickCount(); !done();) {
    if (GetTickCount() - start > DWORD(ms)) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}
inline void pumpFor(int ms) { pumpUntil([] { return false; }, ms); }

inline std::string windowText(HWND h) {
  char buf[4096] = {0};
  GetWindowTextA(h, buf, sizeof buf);
  return buf;
}

struct GuiFixture : ::testing::Test {
  App app;
  win32::GuiHost host{GetModuleHandleA(nullptr)};
  std::unique_ptr<ui::FrmMain> own;
  ui::FrmMain* m = nullptr;
  HWND main = nullptr;
  // A main window whose forms get real windows too, loaded and shown; `onClose` runs when the
  // user closes it.
  void showMain(std::function<void()> onClose = nullptr) {
    own = std::make_unique<ui::FrmMain>(app.platform, host, app.path("quillon.exe"),
                                        Branding{app.product, "Test Company", "quillon.example", 1, 0});
    show(*own, std::move(onClose));
  }
  // The same for a main window made elsewhere.
  void show(ui::FrmMain& form, std::function<void()> onClose = nullptr) {
    m = &form;
    main = static_cast<HWND>(host.create(*m, nullptr, std::move(onClose)));
    m->Form_Load();
    m->setVisible(true);
  }
  HWND hw(controls::Control& c) { return static_cast<HWND>(host.windowOf(c)); }
  HWND hw(controls::Form& f) { return static_cast<HWND>(host.windowOf(f)); }
  std::string text(HWND h) { return windowText(h); }
  std::string text(controls::Control& c) { return windowText(hw(c)); }
};

}  // namespace quillon::test
