// The splash window shown while the program starts: 75 ticks of a 2 ms timer.
#pragma once
#include <cstdint>
#include <functional>

#include "controls/controls.h"

namespace quillon::ui {

// Forms are made of the headless controls.
using namespace quillon::controls;

class FrmSplash : public Form {
 public:
  FrmSplash();
  // Shows the product name and starts the timer.
  void Form_Load(const std::string& productName);
  void Timer2_Timer();
  std::function<void()> onDone;  // loads and shows the main window

  Label lblName{this, "lblName"};
  Label lblLoading{this, "lblLoading", "Loading..."};
  Timer Timer2{this, "Timer2", 2, false};
  int16_t counter = 0;
};

}  // namespace quillon::ui
