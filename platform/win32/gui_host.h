// Binds headless forms to real windows: one child window per control, every model change
// mirrored to its window, every user action turned into the control's own call.
#pragma once
#include <map>
#include <string>

#include "controls/controls.h"
#include "controls/form_host.h"

namespace quillon::win32 {

class GuiHost : public controls::FormHost, public controls::ControlObserver {
 public:
  explicit GuiHost(void* instance);
  ~GuiHost() override;
  // Creates the form's window and its controls. `onClose` runs when the user closes it.
  void* create(controls::Form& form, void* owner, std::function<void()> onClose);
  void* windowOf(controls::Form& form) const;
  void* windowOf(controls::Control& c) const {
    auto it = windows_.find(&c);
    return it == windows_.end() ? nullptr : it->second;
  }
  // Copies what the user changed directly in the windows (column widths) back to the model.
  void readBack(controls::Form& form);

  void showModal(controls::Form& f) override;
  void lockRedraw(controls::Form& f, bool lock) override;
  void trayIcon(controls::Form& owner, TrayOp op, const std::string& tip) override;
  void changed(controls::Control& c, controls::Change what, int row) override;

  // Window procedure plumbing (public for the static procedure only).
  long long handleMessage(void* hwnd, unsigned msg, unsigned long long wParam, long long lParam, bool& handled);

 private:
  struct FormWin;
  void createControl(FormWin& fw, controls::Control& c);
  void syncAll(controls::Control& c);
  void syncForm(FormWin& fw);
  void fillRow(controls::Control& c, int row, bool insert);
  controls::Control* controlById(int id) const;
  void* instance_;
  std::map<controls::Form*, FormWin*> forms_;
  std::map<controls::Control*, void*> windows_;
  std::map<int, controls::Control*> ids_;
  int nextId_ = 1000;
  bool applying_ = false;  // true while the model is pushed to a window (no echo back)
  void* imageList_ = nullptr;
  void* font_ = nullptr;
};

}  // namespace quillon::win32
