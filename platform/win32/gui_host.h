// Binds headless forms to real windows: one child window per control, every model change
// mirrored to its window, every user action turned into the control's own call.
//
// Each form window carries its record in its user data and each bound control carries its
// record as its observer, so a message finds its form and control without a search. A form
// can be destroyed and created again any number of times: its controls keep their state in
// between, and the control ids it held go back to a pool.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "controls/controls.h"
#include "controls/form_host.h"

namespace quillon::win32 {

class GuiHost : public controls::FormHost {
 public:
  explicit GuiHost(void* instance);
  ~GuiHost() override;
  GuiHost(const GuiHost&) = delete;
  GuiHost& operator=(const GuiHost&) = delete;

  // Creates the form's window and its controls, hidden unless the form is visible, where the
  // form says or else centred on the work area. `onClose`
  // runs when the user closes it. A form that already has a window keeps it: that window is
  // brought forward (when shown) and returned. Returns null, leaving the form headless, when
  // the window cannot be made or the form needs more control ids than are free.
  void* create(controls::Form& form, void* owner, std::function<void()> onClose);
  // Destroys the window, its controls' windows and the windows of the forms it owns; the
  // controls keep their state, headless, and the form is no longer visible.
  void destroy(controls::Form& form) override;
  void* windowOf(controls::Form& form) const;
  void* windowOf(controls::Control& c) const;
  // The form whose window `hwnd` is; null for any other window.
  controls::Form* formOf(void* hwnd) const;
  // Runs when another process asks this program to close (RunningProcesses::askToClose),
  // whichever of its form windows the request reaches.
  std::function<void()> onCloseRequest;
  // Copies what the user changed directly in the windows (column widths, where the window
  // stands) back to the model.
  void readBack(controls::Form& form);

  void showModal(controls::Form& f) override;
  void lockRedraw(controls::Form& f, bool lock) override;
  void trayIcon(controls::Form& owner, TrayOp op, const std::string& tip) override;
  void trayBalloon(controls::Form& owner, const std::string& title, const std::string& text) override;
  void open(controls::Form& f, controls::Form* owner) override;
  // In design units (see gui_kinds.h), like the forms' own places and sizes.
  Area workArea() override;
  Area screenArea() override;

  // Control ids are 16 bits in WM_COMMAND. Those below kFirstId stay clear of the standard
  // command ids (IDOK 1 and IDCANCEL 2 are what the dialog manager sends for Enter and
  // Escape; message boxes use up to 11); 0xFFFF is -1, the id of controls that have none.
  static constexpr int kFirstId = 1000, kLastId = 0xFFFE;

  // The record of one form window, kept in that window's user data.
  struct FormWin;
  // Window procedure plumbing (public for the static procedure only).
  long long handleMessage(FormWin& fw, unsigned msg, unsigned long long wParam, long long lParam, bool& handled);
  // Drops a form's record; `gone` says what is already on its way out: nothing, the window
  // (being destroyed by someone else), or the form object (its controls no longer exist).
  enum class Gone { Nothing, Window, Form };
  void forget(FormWin& fw, Gone gone);

 private:
  struct ControlRec;
  ControlRec* recordOf(controls::Control& c) const;
  FormWin* recordOf(controls::Form& f) const;
  ControlRec* controlById(const FormWin& fw, unsigned long long id) const;
  void bind(FormWin& fw, ControlRec& rec);
  void mirror(ControlRec& rec, controls::Change what, int row);
  void syncForm(FormWin& fw);
  bool takeIds(size_t n, std::vector<int>& ids);
  void releaseId(int id);
  Area workAreaPixels();

  void* instance_;
  unsigned closeRequest_ = 0;  // the registered message of RunningProcesses::askToClose
  std::unordered_map<controls::Form*, std::unique_ptr<FormWin>> forms_;
  std::vector<ControlRec*> byId_;  // index: id - kFirstId
  std::vector<int> freeIds_;       // ids given back by destroyed forms, handed out first
  int nextId_ = kFirstId;          // ids from here on were never handed out
  bool applying_ = false;          // true while the model is pushed to a window (no echo back)
  void* font_ = nullptr;       // the font and the list icons every form's controls share
  void* imageList_ = nullptr;
  void* quietOwner_ = nullptr;  // never shown: owns the popups, which so take no taskbar button
};

}  // namespace quillon::win32
