// The About window: what the program is, which version, whose, and where to find them.
#pragma once
#include <string>

#include "controls/controls.h"
#include "platform/platform.h"

namespace quillon::ui {

// Forms are made of the headless controls.
using namespace quillon::controls;

class FrmAbout : public Form {
 public:
  FrmAbout();
  // Fills the texts from the branding read from the executable's version information.
  void Form_Load(const Branding& branding);

  Label lblProduct{this, "lblProduct"};
  Label lblDescription{this, "lblDescription", "Adware and spyware remover"};
  Label lblVersion{this, "lblVersion"};
  Label lblCompany{this, "lblCompany"};
  Label lblWebsite{this, "lblWebsite"};
  Button cmdOk{this, "cmdOk", "OK"};
};

}  // namespace quillon::ui
