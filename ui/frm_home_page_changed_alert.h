// The home-page shield's question: keep the remembered start page, or take the new one.
#pragma once
#include <string>

#include "controls/controls.h"

namespace quillon::ui {

using namespace quillon::controls;

class FrmHomePageChangedAlert : public Form {
 public:
  explicit FrmHomePageChangedAlert(const std::string& productName);

  Label lblFrmHomePageProductName{this, "lblFrmHomePageProductName"};
  Label lblHomePageInfo{this, "lblHomePageInfo"};
  Button cmdYes{this, "cmdYes", "Yes"};
  Button cmdNO{this, "cmdNO", "No"};
};

}  // namespace quillon::ui
