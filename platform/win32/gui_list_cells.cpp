// What a list shows in its cells: the text the model holds, a location too long for its column
// cut in the middle so that its start and its last name stay readable, and a tip that gives the
// whole text of a cut cell. The list also sizes its columns again whenever its own room changes
// (a scroll bar coming or going) and once the user lets go of a header divider.
#include <windows.h>
#include <windowsx.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "platform/win32/gui_kinds.h"

namespace quillon::win32 {

using namespace controls;

namespace {

const char kListProp[] = "QuillonList";
const char kListProcProp[] = "QuillonListProc";
const char kTipProp[] = "QuillonTip";
constexpr UINT kRefit = WM_APP + 7;  // posted: size the columns once the header is done with a drag

// Characters come out of the middle of what precedes the last name, fewest first; a text without
// a separator is left for the list to cut at its end, as is a name too long on its own.
std::string cutMiddle(const std::string& s, int room, const std::function<int(const std::string&)>& width) {
  const size_t name = s.find_last_of("\\/");
  if (name == std::string::npos || name == 0 || width(s) <= room) return s;
  auto cut = [&](size_t n) {
    const size_t from = (name - n) / 2;
    return s.substr(0, from) + "..." + s.substr(from + n);
  };
  size_t lo = 1, hi = name;
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    if (width(cut(mid)) <= room) hi = mid;
    else lo = mid + 1;
  }
  return cut(lo);
}

const std::string& wholeText(const ListView& lv, int row, int col) {
  return col == 0 ? lv.item(row).text : lv.item(row).subItem(col);
}

Bound* boundOf(HWND h) {
  auto* c = static_cast<Control*>(GetPropA(h, kListProp));
  return c ? dynamic_cast<Bound*>(c->observer()) : nullptr;
}

TOOLINFOA tool(HWND h) {
  TOOLINFOA ti{};
  ti.cbSize = TTTOOLINFOA_V2_SIZE;
  ti.hwnd = h;
  ti.uId = 1;
  return ti;
}

// The tip follows the cell under the mouse: the whole text over a cut cell, nothing elsewhere
// (a tip without text never shows).
void pointAt(Bound& b, HWND h, HWND tip, POINT pt) {
  LVHITTESTINFO ht{};
  ht.pt = pt;
  ListView_SubItemHitTest(h, &ht);
  if (ht.iItem == b.tipRow && ht.iSubItem == b.tipCol) return;
  b.tipRow = ht.iItem, b.tipCol = ht.iSubItem;
  const auto& lv = *static_cast<const ListView*>(b.control);
  std::string text;
  TOOLINFOA ti = tool(h);
  if (ht.iItem >= 0 && ht.iItem < lv.count()) {
    const std::string& whole = wholeText(lv, ht.iItem, ht.iSubItem);
    if (cellNeed(h, lv, ht.iSubItem, whole) > ListView_GetColumnWidth(h, ht.iSubItem)) text = whole;
    ListView_GetSubItemRect(h, ht.iItem, ht.iSubItem, ht.iSubItem ? LVIR_BOUNDS : LVIR_LABEL, &ti.rect);
  }
  SendMessageA(tip, TTM_POP, 0, 0);
  SendMessageA(tip, TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&ti));
  ti.lpszText = text.data();
  SendMessageA(tip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
}

LRESULT CALLBACK listProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto old = reinterpret_cast<WNDPROC>(GetPropA(h, kListProcProp));
  if (msg == WM_NCDESTROY) {
    endListCells(h);
    SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    RemovePropA(h, kListProcProp);
    return CallWindowProcA(old, h, msg, wp, lp);
  }
  Bound* b = boundOf(h);
  if (b && msg == kRefit) {
    fitColumns(*b);
    return 0;
  }
  if (HWND tip = static_cast<HWND>(GetPropA(h, kTipProp)); b && tip && msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) {
    if (msg == WM_MOUSEMOVE) pointAt(*b, h, tip, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
    MSG relayed{h, msg, wp, lp, 0, {}};
    SendMessageA(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
  }
  const LRESULT r = CallWindowProcA(old, h, msg, wp, lp);
  if (b && msg == WM_SIZE) fitColumns(*b);
  if (b && msg == WM_NOTIFY) {
    const UINT code = reinterpret_cast<const NMHDR*>(lp)->code;
    if (code == HDN_ENDTRACKA || code == HDN_ENDTRACKW || code == HDN_DIVIDERDBLCLICKA || code == HDN_DIVIDERDBLCLICKW)
      PostMessageA(h, kRefit, 0, 0);
  }
  return r;
}

}  // namespace

void startListCells(HWND h, Control& c) {
  SetPropA(h, kListProp, &c);
  SetPropA(h, kListProcProp, reinterpret_cast<HANDLE>(GetWindowLongPtrA(h, GWLP_WNDPROC)));
  SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listProc));
  HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, 0, 0, 0,
                             0, h, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!tip) return;
  TOOLINFOA ti = tool(h);
  ti.lpszText = const_cast<char*>("");
  SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  // A long path has no spaces to break at; the tip grows as wide as the screen allows.
  SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, GetSystemMetrics(SM_CXSCREEN));
  SetPropA(h, kTipProp, tip);
}

void endListCells(HWND h) {
  RemovePropA(h, kListProp);
  if (HWND tip = static_cast<HWND>(RemovePropA(h, kTipProp))) DestroyWindow(tip);
}

void cellText(Bound& b, NMLVDISPINFOA& request) {
  LVITEMA& item = request.item;
  if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
  const auto& lv = *static_cast<const ListView*>(b.control);
  const int col = item.iSubItem;
  const int room = ListView_GetColumnWidth(b.hwnd, col) - cellNeed(b.hwnd, lv, col, "");
  const std::string shown = cutMiddle(wholeText(lv, item.iItem, col), room, [&](const std::string& t) {
    return ListView_GetStringWidth(b.hwnd, t.c_str());
  });
  lstrcpynA(item.pszText, shown.c_str(), item.cchTextMax);
}

}  // namespace quillon::win32
