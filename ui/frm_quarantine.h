// "Quarantine": the quarantined items, with their date, kind, original place and size, and the
// checked ones restored or deleted for good.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "removal/quarantine_items.h"
#include "controls/controls.h"

namespace quillon::ui {

// Forms are made of the headless controls.
using namespace quillon::controls;

class FrmQuarantine : public Form {
 public:
  FrmQuarantine(Platform& platform, const std::string& appFolder, const std::string& productName);
  // Lists the items afresh, none checked, with their number and total size.
  void Form_Load();
  void cmdRestore_Click();
  void cmdDelete_Click();

  ListView lvwItems{this, "lvwItems", {{"Date", 1900}, {"Kind", 900}, {"Original Place", 4800}, {"Size", 1100}}, true};
  Label lblTotal{this, "lblTotal", ""};
  Button cmdRestore{this, "cmdRestore", "Restore"};
  Button cmdDelete{this, "cmdDelete", "Delete"};
  Button cmdClose{this, "cmdClose", "Close"};

 private:
  // The ids of the checked rows; an empty list has been answered with a box.
  std::vector<int64_t> checkedIds();
  // What a restore or deletion did, in one box, then the list as it is now.
  void tell(const QuarantineChange& change, const std::string& doneText);
  Platform& platform_;
  std::string product_;
  QuarantineItems items_;
  std::vector<int64_t> ids_;  // the id of each row, in the list's order
};

}  // namespace quillon::ui
