#include "platform/win32/gui_kinds.h"

#include <cstring>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "platform/win32/win32_platform.h"

namespace quillon::win32 {

using namespace controls;

namespace {

// A twip is a 1440th of an inch, so its pixels follow the system DPI.
int pixels(float twips) { return int(twips * float(systemDpi()) / 1440.0f + 0.5f); }
float twips(int pixels) { return float(pixels) * 1440.0f / float(systemDpi()); }

// Enabled, shown, caption and place: the same for every kind with a window of its own.
void mirrorWindow(Bound& b, Change what) {
  if (what == Change::Layout) {
    const Layout& l = b.control->layout;
    const RECT r = scaledRect(l.x, l.y, l.w, l.h);
    MoveWindow(b.hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  } else if (what == Change::State) {
    EnableWindow(b.hwnd, b.control->enabled());
    ShowWindow(b.hwnd, b.control->visible() ? SW_SHOWNA : SW_HIDE);
  } else if (what == Change::Caption) {
    // The same text again is left alone: setting it would move the caret of a box being typed in.
    const std::string& want = b.control->caption();
    int n = GetWindowTextLengthA(b.hwnd);
    std::string now(size_t(n) + 1, '\0');
    GetWindowTextA(b.hwnd, now.data(), n + 1);
    now.resize(size_t(n));
    if (now != want) SetWindowTextA(b.hwnd, want.c_str());
  }
}

void mirrorPlain(Bound& b, Change what, int) { mirrorWindow(b, what); }

void mirrorCheckBox(Bound& b, Change what, int) {
  mirrorWindow(b, what);
  if (what == Change::Value) SendMessageA(b.hwnd, BM_SETCHECK, static_cast<CheckBox*>(b.control)->value(), 0);
}

void mirrorOption(Bound& b, Change what, int) {
  mirrorWindow(b, what);
  if (what == Change::Value)
    SendMessageA(b.hwnd, BM_SETCHECK, static_cast<OptionButton*>(b.control)->value() ? BST_CHECKED : BST_UNCHECKED, 0);
}

void mirrorProgress(Bound& b, Change what, int) {
  mirrorWindow(b, what);
  if (what != Change::Value) return;
  auto* p = static_cast<ProgressBar*>(b.control);
  SendMessageA(b.hwnd, PBM_SETRANGE32, 0, p->max());
  SendMessageA(b.hwnd, PBM_SETPOS, WPARAM(p->value()), 0);
}

void mirrorComboBox(Bound& b, Change what, int) {
  mirrorWindow(b, what);
  if (what == Change::Value)
    SendMessageA(b.hwnd, CB_SETCURSEL, WPARAM(static_cast<ComboBox*>(b.control)->listIndex()), 0);
}

void mirrorTabStrip(Bound& b, Change what, int) {
  mirrorWindow(b, what);
  if (what == Change::Value)
    SendMessageA(b.hwnd, TCM_SETCURSEL, WPARAM(static_cast<TabStrip*>(b.control)->selected() - 1), 0);
}

// The picker's value is its caption, so a caption change sets the date, never the window text.
void mirrorDatePicker(Bound& b, Change what, int) {
  if (what == Change::State || what == Change::Layout) mirrorWindow(b, what);
  if (what != Change::Caption && what != Change::Value) return;
  DateTime t;
  SYSTEMTIME st{};
  if (parseDateTime(b.control->caption(), t)) {
    st.wYear = WORD(t.year), st.wMonth = WORD(t.month), st.wDay = WORD(t.day);
    st.wHour = WORD(t.hour), st.wMinute = WORD(t.minute), st.wSecond = WORD(t.second);
    SendMessageA(b.hwnd, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
  } else {
    // "No date" still needs a time to point at: some pickers refuse a null pointer and keep
    // showing the old date.
    GetLocalTime(&st);
    SendMessageA(b.hwnd, DTM_SETSYSTEMTIME, GDT_NONE, reinterpret_cast<LPARAM>(&st));
  }
}

// Every cell's text is asked for when the list draws it (notifyListView), so that a location
// is cut to the width its column has then while the model keeps the whole text.
void fillRow(HWND h, const ListView& lv, int row, bool insert) {
  const ListItem& it = lv.item(row);
  LVITEMA item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iItem = row;
  item.pszText = LPSTR_TEXTCALLBACKA;
  item.iImage = it.icon;
  if (insert) ListView_InsertItem(h, &item);
  else ListView_SetItem(h, &item);
  for (size_t col = 1; col < lv.columns.size(); ++col) ListView_SetItemText(h, row, int(col), LPSTR_TEXTCALLBACKA);
  if (lv.checkBoxes) ListView_SetCheckState(h, row, it.checked);
}

// Grows the needs by one row; true when a column now needs more.
bool measureRow(Bound& b, const ListView& lv, int row) {
  const ListItem& it = lv.item(row);
  bool grew = false;
  for (size_t col = 0; col < b.needs.size(); ++col) {
    int need = cellNeed(b.hwnd, lv, int(col), col == 0 ? it.text : it.subItem(int(col)));
    if (need > b.needs[col]) b.needs[col] = need, grew = true;
  }
  return grew;
}

void measureAll(Bound& b, const ListView& lv) {
  b.needs.assign(lv.columns.size(), 0);
  for (size_t col = 0; col < lv.columns.size(); ++col)
    b.needs[col] = ListView_GetStringWidth(b.hwnd, lv.columns[col].header.c_str()) + 16;
  for (int i = 0; i < lv.count(); ++i) measureRow(b, lv, i);
}

// The widths the list should have now: the user's and (without sharing) the designed ones as
// they are, the others a share of the rest by what they hold; the last column then reaches the
// right edge, so that no blank header stands beyond it.
std::vector<int> columnWidths(Bound& b, const ListView& lv, int available) {
  if (lv.fitColumns && b.needs.size() != lv.columns.size()) measureAll(b, lv);
  std::vector<int> widths(lv.columns.size()), needs;
  int fixed = 0;
  for (size_t i = 0; i < widths.size(); ++i) {
    if (!lv.fitColumns || lv.columns[i].userSized) fixed += widths[i] = pixels(lv.columns[i].widthTwips);
    else needs.push_back(b.needs[i]);
  }
  // Columns the user made wider than the list still leave the shared ones a little room.
  const std::vector<int> shared = shareWidth(needs, std::max(available - fixed, 40 * int(needs.size())));
  int used = 0;
  for (size_t i = 0, k = 0; i < widths.size(); ++i) {
    if (lv.fitColumns && !lv.columns[i].userSized) widths[i] = shared[k++];
    if (i + 1 < widths.size()) used += widths[i];
  }
  if (!widths.empty()) widths.back() = std::max(widths.back(), available - used);
  return widths;
}

void mirrorListView(Bound& b, Change what, int row) {
  mirrorWindow(b, what);
  auto& lv = *static_cast<ListView*>(b.control);
  HWND h = b.hwnd;
  switch (what) {
    case Change::Rows:
      b.tipRow = -1;
      SendMessageA(h, WM_SETREDRAW, FALSE, 0);
      ListView_DeleteAllItems(h);
      for (int i = 0; i < lv.count(); ++i) fillRow(h, lv, i, true);
      if (lv.fitColumns) measureAll(b, lv);
      fitColumns(b);
      SendMessageA(h, WM_SETREDRAW, TRUE, 0);
      break;
    case Change::RowAdded:
      fillRow(h, lv, row, true);
      if (lv.fitColumns && measureRow(b, lv, row)) fitColumns(b);
      ListView_EnsureVisible(h, row, FALSE);
      break;
    // A row gone leaves the widths as they are: they never jump while the user works down a list.
    case Change::RowRemoved: ListView_DeleteItem(h, row); break;
    case Change::RowChanged:
      fillRow(h, lv, row, false);
      if (lv.fitColumns && measureRow(b, lv, row)) fitColumns(b);
      ListView_RedrawItems(h, row, row);
      break;
    case Change::Layout:  // a list that grew shares its new width among its columns
    case Change::Columns: fitColumns(b); break;
    default: break;
  }
}

// A timer runs while its control is enabled; the flag spares the system a kill for a timer
// that never ran (a form may hold many idle ones).
void mirrorTimer(Bound& b, Change what, int) {
  if (what != Change::State) return;
  auto* t = static_cast<Timer*>(b.control);
  if (t->enabled()) {
    b.timerRunning = SetTimer(b.hwnd, UINT_PTR(b.id), UINT(t->interval), nullptr) != 0;
  } else if (b.timerRunning) {
    KillTimer(b.hwnd, UINT_PTR(b.id));
    b.timerRunning = false;
  }
}

void mirrorPicture(Bound& b, Change what, int) {
  mirrorWindow(b, what);
  if (what == Change::Value || what == Change::Layout) showFrame(b.hwnd, *static_cast<Picture*>(b.control));
}

void mirrorMenuItem(Bound& b, Change what, int) {
  if (what == Change::State)
    EnableMenuItem(GetMenu(b.hwnd), UINT(b.id), MF_BYCOMMAND | (b.control->enabled() ? MF_ENABLED : MF_GRAYED));
}

void tick(Bound& b) { static_cast<Timer*>(b.control)->tick(); }

// Buttons, labels and menu items: BN_CLICKED, STN_CLICKED and a menu choice are all code 0.
void commandButton(Bound& b, int code) {
  if (code != BN_CLICKED) return;
  auto* button = static_cast<Button*>(b.control);
  if (button->onShiftPress && GetKeyState(VK_SHIFT) < 0) button->shiftClick();
  else button->click();
}

void commandCheckBox(Bound& b, int code) {
  if (code == BN_CLICKED) static_cast<CheckBox*>(b.control)->click();
}

void commandOption(Bound& b, int code) {
  if (code == BN_CLICKED) static_cast<OptionButton*>(b.control)->click();
}

void commandComboBox(Bound& b, int code) {
  if (code == CBN_SELCHANGE)
    static_cast<ComboBox*>(b.control)->setListIndex(int(SendMessageA(b.hwnd, CB_GETCURSEL, 0, 0)));
}

void notifyTabStrip(Bound& b, const NMHDR& nm) {
  if (nm.code == TCN_SELCHANGE)
    static_cast<TabStrip*>(b.control)->select(int(SendMessageA(b.hwnd, TCM_GETCURSEL, 0, 0)) + 1);
}

// Only a change of the check-box image counts, and not the first one, which is the list
// giving a new row its box.
void notifyListView(Bound& b, const NMHDR& nm) {
  if (nm.code == LVN_GETDISPINFOA) cellText(b, const_cast<NMLVDISPINFOA&>(reinterpret_cast<const NMLVDISPINFOA&>(nm)));
  if (nm.code != LVN_ITEMCHANGED) return;
  const auto& lv = reinterpret_cast<const NMLISTVIEW&>(nm);
  if ((lv.uChanged & LVIF_STATE) && ((lv.uNewState ^ lv.uOldState) & LVIS_STATEIMAGEMASK) &&
      (lv.uOldState & LVIS_STATEIMAGEMASK)) {
    bool checked = ((lv.uNewState & LVIS_STATEIMAGEMASK) >> 12) == 2;
    static_cast<ListView*>(b.control)->setChecked(lv.iItem, checked);
  }
}

void notifyDatePicker(Bound& b, const NMHDR& nm) {
  if (nm.code != DTN_DATETIMECHANGE) return;
  const auto& dt = reinterpret_cast<const NMDATETIMECHANGE&>(nm);
  std::string v;
  if (dt.dwFlags == GDT_VALID) {
    DateTime t;
    t.year = dt.st.wYear, t.month = dt.st.wMonth, t.day = dt.st.wDay;
    t.hour = dt.st.wHour, t.minute = dt.st.wMinute, t.second = dt.st.wSecond;
    v = formatDateTime(t);
  }
  static_cast<DatePicker*>(b.control)->change(v);
}

// Every list shares the host's icons: without LVS_SHAREIMAGELISTS the first list destroyed
// would destroy them for all the others.
void setUpListView(HWND h, Control& c, const Look& look) {
  auto& lv = static_cast<ListView&>(c);
  startListCells(h, c);
  ListView_SetExtendedListViewStyle(h, LVS_EX_FULLROWSELECT | (lv.checkBoxes ? LVS_EX_CHECKBOXES : 0));
  ListView_SetImageList(h, look.icons, LVSIL_SMALL);
  for (size_t i = 0; i < lv.columns.size(); ++i) {
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = const_cast<char*>(lv.columns[i].header.c_str());
    col.cx = pixels(lv.columns[i].widthTwips);
    ListView_InsertColumn(h, int(i), &col);
  }
}

// The check boxes' images are a list the control makes itself; sharing image lists makes
// their destruction ours.
void tearDownListView(HWND h) {
  endListCells(h);
  if (HIMAGELIST own = ListView_GetImageList(h, LVSIL_STATE)) {
    ListView_SetImageList(h, nullptr, LVSIL_STATE);
    ImageList_Destroy(own);
  }
}

void setUpTabStrip(HWND h, Control& c, const Look&) {
  const auto& tabs = static_cast<TabStrip&>(c).tabs;
  for (size_t i = 0; i < tabs.size(); ++i) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(tabs[i].c_str());
    SendMessageA(h, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
}

void setUpComboBox(HWND h, Control& c, const Look&) {
  for (const std::string& s : static_cast<ComboBox&>(c).items)
    SendMessageA(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
}

// A frame is a container: above the tab strip it stands on, below the controls it holds.
void setUpFrame(HWND h, Control&, const Look&) { SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

DWORD textBoxStyle(const Control& c) {
  return static_cast<const TextBox&>(c).editable ? ES_AUTOHSCROLL
                                                  : ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL;
}

// What the user types comes back as the box's text.
void commandTextBox(Bound& b, int code) {
  if (code != EN_CHANGE) return;
  // Read wide: the "A" call would hand a character outside the code page over as a look-alike.
  int n = GetWindowTextLengthW(b.hwnd);
  std::wstring text(size_t(n) + 1, L'\0');
  GetWindowTextW(b.hwnd, text.data(), n + 1);
  text.resize(size_t(n));
  static_cast<TextBox*>(b.control)->setText(ansiOf(text));
}

// A typing box passes the keys typed to its control; Enter is the control's alone (a one-line
// edit would only beep at it).
const char kTextBoxProp[] = "QuillonTextBox";
const char kOldProcProp[] = "QuillonOldProc";
LRESULT CALLBACK typingProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto old = reinterpret_cast<WNDPROC>(GetPropA(h, kOldProcProp));
  auto* box = static_cast<TextBox*>(GetPropA(h, kTextBoxProp));
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    RemovePropA(h, kOldProcProp);
    RemovePropA(h, kTextBoxProp);
    return CallWindowProcA(old, h, msg, wp, lp);
  }
  if (msg == WM_CHAR && box) {
    if (wp == VK_RETURN) {
      if (box->onKeyPress) box->onKeyPress(13);
      return 0;
    }
    LRESULT r = CallWindowProcA(old, h, msg, wp, lp);
    if (box->onKeyPress) box->onKeyPress(int(wp));
    return r;
  }
  return CallWindowProcA(old, h, msg, wp, lp);
}

void setUpTextBox(HWND h, Control& c, const Look&) {
  if (!static_cast<TextBox&>(c).editable) return;
  SetPropA(h, kTextBoxProp, &c);
  SetPropA(h, kOldProcProp, reinterpret_cast<HANDLE>(GetWindowLongPtrA(h, GWLP_WNDPROC)));
  SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(typingProc));
}

DWORD datePickerStyle(const Control& c) {
  return static_cast<const DatePicker&>(c).timeOnly ? DTS_TIMEFORMAT : DTS_SHORTDATEFORMAT;
}

constexpr DWORD kTab = WS_TABSTOP;

// In the order of Kind. Each row: kind, window class, style, extended style, style taken from
// the control; then set-up, mirror, command, notify, timer and tear-down.
constexpr KindOps kOps[] = {
    {Kind::Button, "BUTTON", BS_PUSHBUTTON | kTab, 0, nullptr,  //
     nullptr, mirrorPlain, commandButton, nullptr, nullptr, nullptr},
    {Kind::CheckBox, "BUTTON", BS_CHECKBOX | kTab, 0, nullptr,  //
     nullptr, mirrorCheckBox, commandCheckBox, nullptr, nullptr, nullptr},
    {Kind::Option, "BUTTON", BS_RADIOBUTTON | kTab, 0, nullptr,  //
     nullptr, mirrorOption, commandOption, nullptr, nullptr, nullptr},
    // "&" in a label (a path) is text, not a mnemonic.
    {Kind::Label, "STATIC", SS_NOTIFY | SS_LEFT | SS_NOPREFIX, 0, nullptr,  //
     nullptr, mirrorPlain, commandButton, nullptr, nullptr, nullptr},
    {Kind::ListView, WC_LISTVIEWA, LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | LVS_SHAREIMAGELISTS | kTab,
     WS_EX_CLIENTEDGE, nullptr,  //
     setUpListView, mirrorListView, nullptr, notifyListView, nullptr, tearDownListView},
    {Kind::Progress, PROGRESS_CLASSA, 0, 0, nullptr,  //
     nullptr, mirrorProgress, nullptr, nullptr, nullptr, nullptr},
    {Kind::Timer, nullptr, 0, 0, nullptr,  //
     nullptr, mirrorTimer, nullptr, nullptr, tick, nullptr},
    {Kind::TextBox, "EDIT", kTab, WS_EX_CLIENTEDGE, textBoxStyle,  //
     setUpTextBox, mirrorPlain, commandTextBox, nullptr, nullptr, nullptr},
    {Kind::Frame, kPanelClass, 0, WS_EX_CONTROLPARENT, nullptr,  //
     setUpFrame, mirrorPlain, nullptr, nullptr, nullptr, nullptr},
    {Kind::ComboBox, "COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | kTab, 0, nullptr,  //
     setUpComboBox, mirrorComboBox, commandComboBox, nullptr, nullptr, nullptr},
    {Kind::DatePicker, DATETIMEPICK_CLASSA, DTS_SHOWNONE | kTab, 0, datePickerStyle,  //
     nullptr, mirrorDatePicker, nullptr, notifyDatePicker, nullptr, nullptr},
    {Kind::TabStrip, WC_TABCONTROLA, kTab, 0, nullptr,  //
     setUpTabStrip, mirrorTabStrip, nullptr, notifyTabStrip, nullptr, nullptr},
    {Kind::MenuItem, nullptr, 0, 0, nullptr,  //
     nullptr, mirrorMenuItem, commandButton, nullptr, nullptr, nullptr},
    {Kind::Shape, "STATIC", SS_BLACKRECT, 0, nullptr,  //
     nullptr, mirrorPlain, nullptr, nullptr, nullptr, nullptr},
    {Kind::Picture, kPictureClass, 0, 0, nullptr,  //
     nullptr, mirrorPicture, nullptr, nullptr, nullptr, nullptr},
};

constexpr bool inKindOrder() {
  for (size_t i = 0; i < std::size(kOps); ++i)
    if (size_t(kOps[i].kind) != i) return false;
  return std::size(kOps) == size_t(Kind::Picture) + 1;
}
static_assert(inKindOrder(), "one row per kind, in the order of Kind");

}  // namespace

const KindOps& kindOps(Kind kind) { return kOps[size_t(kind)]; }

int cellNeed(HWND h, const ListView& lv, int col, const std::string& text) {
  int need = ListView_GetStringWidth(h, text.c_str()) + 16;
  if (col == 0) need += GetSystemMetrics(SM_CXSMICON) + (lv.checkBoxes ? GetSystemMetrics(SM_CXSMICON) + 4 : 0);
  return need;
}

void readBackColumns(Bound& b) {
  auto& lv = *static_cast<ListView*>(b.control);
  if (b.fitted.size() != lv.columns.size()) return;
  for (size_t i = 0; i < b.fitted.size(); ++i) {
    const int px = ListView_GetColumnWidth(b.hwnd, int(i));
    if (px <= 0 || px == b.fitted[i]) continue;
    lv.columns[i].userSized = true;
    lv.columns[i].widthTwips = twips(px);
    b.fitted[i] = px;
  }
}

// Setting a width can bring or take a scroll bar, which changes the room: a second pass then
// fits the new room. The list's own resize comes back here too, and is left out meanwhile.
void fitColumns(Bound& b) {
  if (b.fitting) return;
  b.fitting = true;
  readBackColumns(b);
  const auto& lv = *static_cast<ListView*>(b.control);
  for (int pass = 0; pass < 2; ++pass) {
    RECT r;
    GetClientRect(b.hwnd, &r);
    const std::vector<int> widths = columnWidths(b, lv, int(r.right - r.left));
    b.fitted.assign(widths.size(), 0);
    for (size_t i = 0; i < widths.size(); ++i) {
      if (ListView_GetColumnWidth(b.hwnd, int(i)) != widths[i]) ListView_SetColumnWidth(b.hwnd, int(i), widths[i]);
      b.fitted[i] = ListView_GetColumnWidth(b.hwnd, int(i));
    }
    RECT now;
    GetClientRect(b.hwnd, &now);
    if (now.right == r.right) break;
  }
  b.fitting = false;
}

}  // namespace quillon::win32
