// The stored options into the settings page's tabs at start-up, and where the user left the
// window and the results list's columns.
#include "ui/frm_main.h"

namespace quillon::ui {

namespace {
constexpr double kMaxColumnTwips = 100000;  // about 70 inches
}  // namespace

void FrmMain::LoadSettings() {
  settings.write(keys::SHOW, "True");
  tabProtection.load();
  tabScanOptions.load();
  tabLiveUpdate.showLastUpdate();
  loadBox(settings, keys::chkScheduledScans, tabSchedule.chkScheduledScans);
  SetBackgroundTimers(true);  // the scheduler timer as the stored schedule and the window say
  tabSchedule.showState();
  tabLiveUpdate.load();
  tabScanOptions.loadDrives();
  auto& removal = pageResults.lvwResults;
  for (int i = 1; i <= int(removal.columns.size()); ++i) {
    // A width no screen could show is not a width: the column keeps its designed one.
    if (size_t(i) > std::size(keys::FoundCol2)) break;
    auto w = settings.readNumber(keys::FoundCol2[i - 1]);
    if (w && *w >= 0 && *w <= kMaxColumnTwips) removal.setColumnWidth(i, float(static_cast<long long>(*w)));
  }
  if (settings.read(keys::Max) == "1") setWindowState(State::Maximized);
  // Back where the user left it, while that is still on the screen (a second screen may have
  // gone since); otherwise the window stays in the middle.
  const auto area = host.workArea();
  auto x = settings.readNumber(keys::Left), y = settings.readNumber(keys::Top);
  if (x && y && *x >= area.left && *y >= area.top && *x + 100 <= area.right && *y + 50 <= area.bottom)
    moveTo(int(*x), int(*y));
}

}  // namespace quillon::ui
