// The memory shield's alert: a running program the definitions name, to be stopped or allowed.
#pragma once
#include "controls/controls.h"

namespace quillon::ui {

using namespace quillon::controls;

class FrmSpywareFoundAlert : public Form {
 public:
  FrmSpywareFoundAlert();

  Label lblDetected{this, "lblDetected", "Spyware/Adware has been detected."};
  Label lblFileNameCaption{this, "lblFileNameCaption", "File Name:"};
  Label lblAlertFileName{this, "lblAlertFileName", "Unknown Executable"};
  Label lblCompanyNameCaption{this, "lblCompanyNameCaption", "Company Name:"};
  Label lblAlertCompanyName{this, "lblAlertCompanyName", "Unknown Company"};
  Label lblStopHint{this, "lblStopHint", "Click STOP to stop it from running."};
  Label lblAllowHint{this, "lblAllowHint", "Click ALLOW to allow the program to run."};
  Button cmdYes{this, "cmdYes", "STOP"};
  Button cmdNO{this, "cmdNO", "ALLOW"};
};

}  // namespace quillon::ui
