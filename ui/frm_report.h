// The scan report viewer.
#pragma once
#include <string>

#include "platform/platform.h"
#include "controls/controls.h"

namespace quillon::ui {

// Forms are made of the headless controls.
using namespace quillon::controls;

class FrmReport : public Form {
 public:
  FrmReport();
  // Reads the report afresh and sets the caption.
  void load(FileSystem& fs, Pump& pump, const std::string& appFolder, const std::string& productName);

  TextBox txtReport{this, "txtReport"};
  Button cmdOk{this, "cmdOk", "OK"};
};

}  // namespace quillon::ui
