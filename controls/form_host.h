// How forms reach the screen. The GUI implements it with real windows; headless runs (the
// console program, tests) use HeadlessHost, where a modal form is loaded and closed at once.
#pragma once
#include <functional>
#include <string>

#include "controls/controls.h"

namespace quillon::controls {

class FormHost {
 public:
  virtual ~FormHost() = default;
  // Shows the form and returns when it is hidden again.
  virtual void showModal(Form& f) = 0;
  // Suspends or releases drawing of a visible window; does nothing for a hidden one.
  virtual void lockRedraw(Form& f, bool lock) = 0;
  // The notification-area icon owned by a form: add (with the form's icon and a tip),
  // change its tip, delete it. Mouse actions on it reach the form's onTrayMouse.
  enum class TrayOp { Add, Modify, Delete };
  virtual void trayIcon(Form& owner, TrayOp op, const std::string& tip) = 0;
  // Takes the form off the screen for good, with its tray icon and timers, until it is shown
  // again. Its controls keep their state. Forms shown many times over (alerts, notices) are
  // destroyed after each showing, so that nothing piles up.
  virtual void destroy(Form& f) = 0;
  // Shows a form that comes and goes (alerts, notices, the popup, the download window),
  // making its window first when it has none; owned by `owner` when one is given.
  virtual void open(Form& f, Form* owner) = 0;
  // The part of the screen the taskbar leaves free, in pixels: notices slide up from its
  // bottom edge.
  struct Area {
    int left, top, right, bottom;
  };
  virtual Area workArea() = 0;
};

class HeadlessHost : public FormHost {
 public:
  // Called while a modal form is "on screen"; a test reads or presses its controls there.
  std::function<void(Form&)> onModal;
  void showModal(Form& f) override {
    f.setVisible(true);
    if (onModal) onModal(f);
    f.setVisible(false);
  }
  void lockRedraw(Form&, bool) override {}
  // What the notification area would show: the tip while the icon is there.
  bool trayShown = false;
  std::string trayTip;
  void trayIcon(Form& owner, TrayOp op, const std::string& tip) override {
    trayShown = op != TrayOp::Delete;
    trayTip = trayShown ? tip : "";
    trayOwner_ = trayShown ? &owner : nullptr;
  }
  void destroy(Form& f) override {
    if (trayOwner_ == &f) trayIcon(f, TrayOp::Delete, "");
    f.setVisible(false);
  }
  void open(Form& f, Form*) override { f.setVisible(true); }
  // A 1024 x 768 screen with a 30-pixel taskbar at the bottom.
  Area screen{0, 0, 1024, 738};
  Area workArea() override { return screen; }

 private:
  Form* trayOwner_ = nullptr;
};

}  // namespace quillon::controls
