// "Delete Failed": the files a removal could not delete, with a way to copy the list.
#pragma once
#include "platform/platform.h"
#include "controls/controls.h"

namespace quillon::ui {

// Forms are made of the headless controls.
using namespace quillon::controls;

class FrmDelete : public Form {
 public:
  explicit FrmDelete(Clipboard& clipboard);
  void cmdCopyList_Click();

  Label lblTop{this, "lblTop",
               "The following files could not be deleted.  You should save your work, close all running programs "
               "(especially browsers) and try to delete them again."};
  ListView lstProblem{this, "lstProblem", {{"Location", 7500}}};
  Label lblBottom{this, "lblBottom",
                  "If you still cannot delete them, you should start your computer in Safe Mode and either scan "
                  "again or delete them manually."};
  Button cmdOk{this, "cmdOk", "OK"};
  Button cmdCopyList{this, "cmdCopyList", "Copy List"};

 private:
  Clipboard& clipboard_;
};

}  // namespace quillon::ui
