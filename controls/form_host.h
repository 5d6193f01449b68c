// How forms reach the screen. The GUI implements it with real windows; headless runs (the
// console program, tests) use HeadlessHost, where a modal form is loaded and closed at once.
#pragma once
#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

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
  // A balloon from the form's notification-area icon, which goes by itself; nothing without
  // an icon.
  virtual void trayBalloon(Form& owner, const std::string& title, const std::string& text) = 0;
  // Takes the form off the screen for good, with its tray icon and timers, until it is shown
  // again. Its controls keep their state. Forms shown many times over (alerts, notices) are
  // destroyed after each showing, so that nothing piles up.
  virtual void destroy(Form& f) = 0;
  // Shows a form that comes and goes (alerts, notices, the popup, the download window),
  // making its window first when it has none; owned by `owner` when one is given.
  virtual void open(Form& f, Form* owner) = 0;
  // The part of the screen the taskbar leaves free, in the forms' units: notices slide up from its
  // bottom edge.
  struct Area {
    int left, top, right, bottom;
  };
  virtual Area workArea() = 0;
  // The whole screen, taskbar included: a notice sliding away is gone once below its bottom.
  virtual Area screenArea() = 0;
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
  // What the notification area would show: whether any icon is there, and the tip of the one
  // added last; every form's icon is its own.
  bool trayShown = false;
  std::string trayTip;
  std::vector<std::pair<Form*, std::string>> trays;
  void trayIcon(Form& owner, TrayOp op, const std::string& tip) override {
    auto it = std::find_if(trays.begin(), trays.end(), [&](const auto& t) { return t.first == &owner; });
    if (op == TrayOp::Delete && it != trays.end()) trays.erase(it);
    if (op == TrayOp::Add && it == trays.end()) trays.emplace_back(&owner, tip);
    if (op == TrayOp::Modify && it != trays.end()) it->second = tip;
    trayShown = !trays.empty();
    trayTip = trayShown ? trays.back().second : "";
  }
  // The balloons shown, title and text.
  std::vector<std::pair<std::string, std::string>> balloons;
  void trayBalloon(Form& owner, const std::string& title, const std::string& text) override {
    if (hasTray(owner)) balloons.emplace_back(title, text);
  }
  bool hasTray(const Form& f) const {
    return std::any_of(trays.begin(), trays.end(), [&](const auto& t) { return t.first == &f; });
  }
  void destroy(Form& f) override {
    trayIcon(f, TrayOp::Delete, "");
    f.setVisible(false);
  }
  void open(Form& f, Form*) override { f.setVisible(true); }
  // A 1024 x 768 screen with a 30-pixel taskbar at the bottom.
  Area screen{0, 0, 1024, 738};
  Area workArea() override { return screen; }
  Area display{0, 0, 1024, 768};
  Area screenArea() override { return display; }
};

}  // namespace quillon::controls
