// How forms reach the screen. The GUI implements it with real windows; headless runs (the
// console program, tests) use HeadlessHost, where a modal form is loaded and closed at once.
#pragma once
#include <functional>

#include "ui/controls.h"

namespace quillon::ui {

class FormHost {
 public:
  virtual ~FormHost() = default;
  // Shows the form and returns when it is hidden again.
  virtual void showModal(Form& f) = 0;
  // Suspends or releases drawing of a visible window; does nothing for a hidden one.
  virtual void lockRedraw(Form& f, bool lock) = 0;
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
};

}  // namespace quillon::ui
