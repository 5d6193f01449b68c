// Benchmark of making and destroying a form's windows under Wine (needs a display).
//
//   bench_gui_forms [rounds]   (default 300)
//
// A form with one control of every kind (a tab strip, a frame, a check box, two option
// buttons, a checked list with a row, a combo box, a date picker, a label, a text box, a
// progress bar, a shape, a timer, a button and a two-menu bar) is created hidden and destroyed
// through the window host, against the same windows made and destroyed with the bare system
// calls. The figure is the host's time per round divided by the bare time, both measured in the
// same run, in turns, best of five.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/win32/gui_host.h"
#include "platform/win32/win32_platform.h"
#include "tests/support/all_kinds.h"

using namespace quillon;

namespace {

double now() { return win32::Win32Pump::nowMs(); }

void pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

double hostRounds(win32::GuiHost& host, test::AllKinds& f, int rounds, bool& ok) {
  const double t0 = now();
  for (int i = 0; i < rounds; ++i) {
    ok = host.create(f, nullptr, nullptr) != nullptr && ok;
    f.prg.setValue(f.prg.value() == 10 ? 20 : 10);
    f.lvw.setChecked(0, !f.lvw.item(0).checked);
    host.destroy(f);
  }
  pump();
  return now() - t0;
}

HWND child(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y, int w, int h) {
  return CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
}

// The same windows, menus, timer and list contents through the system calls alone.
double bareRounds(int rounds, bool& ok) {
  const double t0 = now();
  for (int i = 0; i < rounds; ++i) {
    HMENU bar = CreateMenu(), file = CreatePopupMenu(), help = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, 100, "Hide");
    AppendMenuA(help, MF_STRING, 101, "About");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "Help");
    HWND form = CreateWindowExA(0, "QuillonBenchForm", "All kinds", WS_OVERLAPPEDWINDOW, 0, 0, 420, 300, nullptr, bar,
                                GetModuleHandleA(nullptr), nullptr);
    ok = form != nullptr && ok;
    HWND tabs = child(form, WC_TABCONTROLA, "", 0, 10, 10, 10, 400, 200);
    for (const char* t : {"General", "Details"}) {
      TCITEMA item{};
      item.mask = TCIF_TEXT;
      item.pszText = const_cast<char*>(t);
      SendMessageA(tabs, TCM_INSERTITEMA, SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), reinterpret_cast<LPARAM>(&item));
    }
    child(form, "BUTTON", "Options", BS_GROUPBOX, 11, 20, 40, 380, 160);
    child(form, "BUTTON", "Remember", BS_AUTOCHECKBOX, 12, 30, 60, 150, 22);
    child(form, "BUTTON", "Now", BS_AUTORADIOBUTTON | WS_GROUP, 13, 30, 86, 150, 22);
    child(form, "BUTTON", "Later", BS_AUTORADIOBUTTON, 14, 30, 112, 150, 22);
    HWND lvw = child(form, WC_LISTVIEWA, "", LVS_REPORT, 15, 190, 60, 200, 100);
    SendMessageA(lvw, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    for (const char* c : {"Name", "Where"}) {
      LVCOLUMNA col{};
      col.mask = LVCF_TEXT | LVCF_WIDTH;
      col.cx = 100;
      col.pszText = const_cast<char*>(c);
      SendMessageA(lvw, LVM_INSERTCOLUMNA, c[0] == 'N' ? 0 : 1, reinterpret_cast<LPARAM>(&col));
    }
    LVITEMA row{};
    row.mask = LVIF_TEXT;
    row.pszText = const_cast<char*>("row");
    SendMessageA(lvw, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row));
    ListView_SetCheckState(lvw, 0, i % 2);
    HWND cmb = child(form, "COMBOBOX", "", CBS_DROPDOWNLIST, 16, 30, 140, 150, 120);
    for (const char* t : {"Daily", "Weekly", "Monthly"}) SendMessageA(cmb, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    child(form, DATETIMEPICK_CLASSA, "", DTS_SHORTDATEFORMAT, 17, 30, 168, 150, 24);
    child(form, "STATIC", "Ready.", 0, 18, 10, 220, 300, 20);
    child(form, "EDIT", "", WS_BORDER | ES_MULTILINE, 19, 10, 244, 200, 44);
    HWND prg = child(form, PROGRESS_CLASSA, "", 0, 20, 220, 244, 190, 18);
    SendMessageA(prg, PBM_SETPOS, i % 2 ? 10 : 20, 0);
    child(form, "STATIC", "", SS_BLACKRECT, 21, 380, 220, 10, 10);
    child(form, "BUTTON", "OK", BS_PUSHBUTTON, 22, 320, 266, 90, 26);
    SetTimer(form, 23, 10, nullptr);
    KillTimer(form, 23);
    DestroyWindow(form);  // takes its children and its menu bar with it
  }
  pump();
  return now() - t0;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
  win32::GuiHost host(GetModuleHandleA(nullptr));  // registers its classes and the common controls
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "QuillonBenchForm";
  RegisterClassA(&wc);
  test::AllKinds f;
  f.lvw.add("row");
  bool ok = true;
  // Warm up both, then take the best of five, the two taking turns in going first.
  hostRounds(host, f, 10, ok);
  bareRounds(10, ok);
  double ours = 1e300, bare = 1e300;
  for (int round = 0; round < 5; ++round) {
    if (round % 2) ours = std::min(ours, hostRounds(host, f, rounds, ok));
    bare = std::min(bare, bareRounds(rounds, ok));
    if (round % 2 == 0) ours = std::min(ours, hostRounds(host, f, rounds, ok));
  }
  const double ratio = ours / bare;
  std::printf("create and destroy a form of every control kind, %d rounds, best of 5\n", rounds);
  std::printf("  bare system calls         %8.2f ms a round\n", bare / rounds);
  std::printf("  window host               %8.2f ms a round   ratio %.3f  (limit 1.5)\n", ours / rounds, ratio);
  if (!ok) std::printf("  ERROR: a window could not be made\n");
  return ok && ratio <= 1.5 ? 0 : 1;
}
