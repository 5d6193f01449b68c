#include "ui/frm_delete.h"

namespace quillon::ui {

FrmDelete::FrmDelete(Clipboard& clipboard) : Form("Delete Failed"), clipboard_(clipboard) {
  width = 540, height = 340;
  lblTop.layout = {10, 10, 520, 40};
  lstProblem.layout = {10, 56, 520, 180};
  lblBottom.layout = {10, 244, 520, 40};
  cmdOk.layout = {330, 296, 90, 28};
  cmdCopyList.layout = {430, 296, 100, 28};
  cmdOk.onClick = [this] { setVisible(false); };
  cmdCopyList.onClick = [this] { cmdCopyList_Click(); };
}

void FrmDelete::cmdCopyList_Click() {
  std::string text;
  for (const ListItem& row : lstProblem.items()) text += row.text + "\r\n";
  clipboard_.setText(text);
}

}  // namespace quillon::ui
