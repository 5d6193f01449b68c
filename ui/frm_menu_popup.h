// The small window that slides up above the taskbar when the tray icon is clicked, waits while
// the mouse moves over it, and slides away six idle seconds later.
#pragma once
#include <functional>
#include <string>

#include "controls/controls.h"
#include "controls/form_host.h"
#include "shell/tray_popup.h"

namespace quillon::ui {

// Forms are made of the headless controls.
using namespace quillon::controls;

class FrmMenuPopUp : public Form {
 public:
  explicit FrmMenuPopUp(FormHost& host);
  // Names the product, enables the items, puts the window just below the free screen area
  // at its right edge and starts the slide up. `canExit` is false while a scan runs; "Show
  // Program" is only offered while the main window is off screen.
  void Form_Load(const std::string& productName, bool canExit, bool mainOnScreen);
  // Takes the window off the screen and stops every timer.
  void Form_Unload();
  bool loaded() const { return loaded_; }

  void tmrMenuPopup_Timer();
  void TmrEnablePopDown_Timer();
  void tmrPopDown_Timer();
  void lblMenuClose_Click();
  void mnuShowProgram_Click();
  void mnuClose_Click();
  void Form_MouseMove() { motion.mouseMoved(); }

  Label lblName{this, "lblName"};
  Label mnuShowProgram{this, "mnuShowProgram", "Show Program"};
  Label mnuClose{this, "mnuClose", "Exit Program"};
  Label lblMenuClose{this, "lblMenuClose", "Close This Menu"};
  Timer tmrMenuPopup{this, "tmrMenuPopup", 1, false};
  Timer TmrEnablePopDown{this, "TmrEnablePopDown", 1000, false};
  Timer tmrPopDown{this, "tmrPopDown", 10, false};
  TrayPopupMotion motion;  // its idle count is the seconds without a mouse movement over it

  // What the items do to the main window; set by it.
  std::function<void()> onShowProgram, onExitProgram;

 private:
  void place() { moveTo(left, motion.top()); }
  FormHost& host_;
  bool loaded_ = false;
};

}  // namespace quillon::ui
