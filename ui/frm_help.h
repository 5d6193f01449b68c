// The help window: one tab per page of the program, with the text that explains it.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "controls/controls.h"

namespace quillon::ui {

// Forms are made of the headless controls.
using namespace quillon::controls;

// The help text in topics ("== Title ==" starts one), each body with CR LF line ends.
using HelpTopics = std::vector<std::pair<std::string, std::string>>;
HelpTopics helpTopics(const std::string& text);
// The program's own help text, built in from docs/help.txt.
const char* helpText();

class FrmHelp : public Form {
 public:
  FrmHelp();
  // Shows the first topic, or the topic of that title when there is one.
  void Form_Load(const std::string& productName, const std::string& topic = "");
  void tabTopics_Click();

  TabStrip tabTopics;
  TextBox txtHelp{this, "txtHelp"};
  Button cmdOk{this, "cmdOk", "Close"};

 private:
  HelpTopics topics_;
};

}  // namespace quillon::ui
