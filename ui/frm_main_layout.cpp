// Where the side bar and the pages sit. The pages take what the window has right of the side
// bar, so they grow with it; each page places its own controls in the room it gets.
#include "ui/frm_main.h"

#include <algorithm>

namespace quillon::ui {

namespace {
// The designed client size, which is also the smallest the window can be made.
constexpr int kDesignedWidth = 800, kDesignedHeight = 560;
constexpr int kSideBar = 172;  // the side bar's width with its margin
}  // namespace

void FrmMain::layoutControls() {
  if (minWidth == 0) {
    width = minWidth = kDesignedWidth;
    height = minHeight = kDesignedHeight;
  }
  const int w = std::max(width, kDesignedWidth) - kSideBar - 12, h = std::max(height, kDesignedHeight) - 20;
  int y = 16;
  for (Button* b : {&cmdStatus, &cmdScan, &cmdResults, &cmdSettings, &cmdUpdate, &cmdLog, &cmdSendToTray, &cmdWebsite}) {
    place(*b, nullptr, 10, y, 150, 34);
    y += 44;
  }
  lblHide.setVisible(false);  // the unskinned window closes through its title bar
  for (Frame* f : {&pageStatus.frmStatus, &pageScan.frmScan, &pageResults.frmResults, &frmOptions})
    place(*f, nullptr, kSideBar, 8, w, h);
  pageStatus.layout(w, h);
  pageScan.layout(w, h);
  pageResults.layout(w, h);
  for (ListView* l : {&lvwFilesToBeDeleted, &lvwRegistryToBeDeleted, &lvwCookiesToDelete}) l->setVisible(false);

  place(tabSettings, &frmOptions, 10, 24, w - 20, h - 34);
  const int tabW = w - 40, tabH = h - 78;
  for (Frame* f : {&tabScanOptions.frmScanOptions, &tabSchedule.frmSchedule, &tabProtection.frmProtection,
                   &tabLiveUpdate.frmLiveUpdate})
    place(*f, &frmOptions, 20, 58, tabW, tabH);
  tabScanOptions.layout(tabW, tabH);
  tabSchedule.layout(tabW, tabH);
  tabProtection.layout(tabW, tabH);
  tabLiveUpdate.layout(tabW, tabH);
}

}  // namespace quillon::ui
