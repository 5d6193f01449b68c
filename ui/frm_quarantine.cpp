#include "ui/frm_quarantine.h"

#include <cstdio>

#include "common/text.h"

namespace quillon::ui {

namespace {
// Bytes as a person reads them: exact while small, then in whole kilobytes or tenths of a megabyte.
std::string sizeText(uint64_t bytes) {
  if (bytes < 1024) return groupDigits(static_cast<long long>(bytes)) + (bytes == 1 ? " byte" : " bytes");
  if (bytes < 1024 * 1024) return groupDigits(static_cast<long long>((bytes + 1023) / 1024)) + " KB";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f MB", double(bytes) / (1024.0 * 1024.0));
  return buf;
}
}  // namespace

FrmQuarantine::FrmQuarantine(Platform& platform, const std::string& appFolder, const std::string& productName)
    : Form(productName + " Quarantine"), platform_(platform), product_(productName),
      items_(platform, appFolder, productName) {
  width = 680, height = 378;
  lvwItems.layout = {10, 10, 660, 320};
  lvwItems.fitColumns = true;
  lblTotal.layout = {10, 347, 340, 20};
  cmdRestore.layout = {380, 340, 90, 28};
  cmdDelete.layout = {480, 340, 90, 28};
  cmdClose.layout = {580, 340, 90, 28};
  cmdRestore.onClick = [this] { cmdRestore_Click(); };
  cmdDelete.onClick = [this] { cmdDelete_Click(); };
  cmdClose.onClick = [this] { setVisible(false); };
}

void FrmQuarantine::Form_Load() {
  lvwItems.clear();
  ids_.clear();
  uint64_t total = 0;
  for (const QuarantineEntry& e : items_.list()) {
    const int row = lvwItems.add(e.date);
    lvwItems.setSubItem(row, 1, kindName(e.kind));
    lvwItems.setSubItem(row, 2, e.original);
    lvwItems.setSubItem(row, 3, sizeText(e.size));
    ids_.push_back(e.id);
    total += e.size;
  }
  lblTotal.setCaption(std::to_string(ids_.size()) + (ids_.size() == 1 ? " item, " : " items, ") + sizeText(total) +
                      " in all");
}

std::vector<int64_t> FrmQuarantine::checkedIds() {
  std::vector<int64_t> ids;
  for (int i = 0; i < lvwItems.count() && size_t(i) < ids_.size(); ++i)
    if (lvwItems.item(i).checked) ids.push_back(ids_[i]);
  if (ids.empty()) platform_.dialogs.messageBox("Check the items to act on first.", product_, kMbOk | kMbIconInformation);
  return ids;
}

void FrmQuarantine::cmdRestore_Click() {
  if (const std::vector<int64_t> ids = checkedIds(); !ids.empty()) tell(items_.restore(ids), "Restored");
}

void FrmQuarantine::cmdDelete_Click() {
  const std::vector<int64_t> ids = checkedIds();
  if (ids.empty()) return;
  const std::string question = "Delete the " + std::to_string(ids.size()) +
                               (ids.size() == 1 ? " checked item" : " checked items") +
                               " for good? What is deleted cannot be restored.";
  if (platform_.dialogs.messageBox(question, product_, kMbYesNo | kMbIconQuestion | kMbDefaultSecond) != kIdYes)
    return;
  tell(items_.remove(ids), "Deleted");
}

void FrmQuarantine::tell(const QuarantineChange& change, const std::string& doneText) {
  std::string text = change.refused;
  for (const QuarantineChange::Item& item : change.items)
    text += (text.empty() ? "" : "\r\n") + (item.problem.empty() ? doneText + " " + item.original + "." : item.problem);
  platform_.dialogs.messageBox(text, product_, kMbOk | (change.allDone() ? kMbIconInformation : kMbIconExclamation));
  Form_Load();
}

}  // namespace quillon::ui
