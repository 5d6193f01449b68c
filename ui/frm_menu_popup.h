// The small window that slides up above the taskbar when the tray icon is clicked, waits while
// the mouse moves over it, and slides away six idle seconds later.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "controls/controls.h"
#include "controls/form_host.h"

namespace quillon::ui {

// Forms are made of the headless controls.
using namespace quillon::controls;

class FrmMenuPopUp : public Form {
 public:
  explicit FrmMenuPopUp(FormHost& host);
  // Names the product, enables the items, puts the window just below the free screen area
  // and starts the slide up. `canExit` is false while a scan runs; "Show Program" is only
  // offered while the main window is hidden.
  void Form_Load(const std::string& productName, bool canExit, bool mainVisible);
  // Takes the window off the screen and stops every timer.
  void Form_Unload();
  bool loaded() const { return loaded_; }

  void tmrMenuPopup_Timer();
  void TmrEnablePopDown_Timer();
  void tmrPopDown_Timer();
  void lblMenuClose_Click();
  void mnuMaxmimaize_Click();
  void mnuClose_Click();
  void Form_MouseMove() { lTimDown = 0; }

  Label lblName{this, "lblName"};
  Label mnuMaxmimaize{this, "mnuMaxmimaize", "Show Program"};
  Label mnuClose{this, "mnuClose", "Exit Program"};
  Label lblMenuClose{this, "lblMenuClose", "Close This Menu"};
  Timer tmrMenuPopup{this, "tmrMenuPopup", 1, false};
  Timer TmrEnablePopDown{this, "TmrEnablePopDown", 1000, false};
  Timer tmrPopDown{this, "tmrPopDown", 10, false};
  int32_t lTimDown = 0;  // seconds without a mouse movement over the popup

  // What the items do to the main window; set by it.
  std::function<void()> onShowProgram, onExitProgram;

  // The slide is counted in twips, as its steps are given; the window moves in whole pixels.
  static constexpr int kTwipsPerPixel = 15, kUpStep = 80, kDownStep = 100;
  int topTwips() const { return topTwips_; }
  int finalTopTwips() const { return finalTopTwips_; }
  // The bottom edge of the free screen area when the popup was loaded, in twips.
  int bottomTwips() const { return bottomTwips_; }

 private:
  void place();
  FormHost& host_;
  bool loaded_ = false;
  int topTwips_ = 0, finalTopTwips_ = 0, bottomTwips_ = 0, leftPixels_ = 0;
};

}  // namespace quillon::ui
