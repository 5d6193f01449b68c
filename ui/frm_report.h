// The scan report viewer.
#pragma once
#include <string>

#include "platform/platform.h"
#include "ui/controls.h"

namespace quillon::ui {

class FrmReport : public Form {
 public:
  FrmReport();
  // Reads the report afresh and sets the caption.
  void load(FileSystem& fs, Pump& pump, const std::string& appFolder, const std::string& productName);

  TextBox txtReport{this, "txtReport"};
  Button cmdOk{this, "cmdOk", "OK"};
};

}  // namespace quillon::ui
