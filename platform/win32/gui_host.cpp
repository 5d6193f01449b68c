#include "platform/win32/gui_host.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <vector>

#include "common/datetime.h"

namespace quillon::win32 {

using namespace controls;

struct GuiHost::FormWin {
  Form* form;
  HWND hwnd;
  std::function<void()> onClose;
  std::map<int, MenuItem*> menu;
};

namespace {
const char* kFormClass = "QuillonForm";
const char* kPanelClass = "QuillonPanel";

LRESULT CALLBACK formProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* host = reinterpret_cast<GuiHost*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (host) {
    bool handled = false;
    LRESULT r = LRESULT(host->handleMessage(hwnd, msg, wp, lp, handled));
    if (handled) return r;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// Pages and tab frames pass their children's notifications up to the form. A frame with a
// caption is drawn as a group box: an etched border with the caption set into its top edge.
LRESULT CALLBACK panelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  const char* kFontProp = "QuillonFont";
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
      return SendMessageA(GetAncestor(hwnd, GA_ROOT), msg, wp, lp);
    case WM_SETFONT:
      SetPropA(hwnd, kFontProp, reinterpret_cast<HANDLE>(wp));
      return 0;
    case WM_NCDESTROY:
      RemovePropA(hwnd, kFontProp);
      break;
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcA(hwnd, msg, wp, lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return r;
    }
    case WM_PAINT: {
      char caption[256] = {0};
      GetWindowTextA(hwnd, caption, sizeof caption);
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (caption[0]) {
        HGDIOBJ oldFont = SelectObject(dc, static_cast<HFONT>(GetPropA(hwnd, kFontProp)));
        TEXTMETRICA tm;
        GetTextMetricsA(dc, &tm);
        RECT r;
        GetClientRect(hwnd, &r);
        r.top += tm.tmHeight / 2;
        DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
        SIZE size;
        GetTextExtentPoint32A(dc, caption, int(strlen(caption)), &size);
        RECT text{8, 0, 8 + size.cx + 4, tm.tmHeight};
        FillRect(dc, &text, GetSysColorBrush(COLOR_BTNFACE));
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 10, 0, caption, int(strlen(caption)));
        SelectObject(dc, oldFont);
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// Small kind icons for the results lists: cookie, registry, file, folder, excluded.
HIMAGELIST makeIcons() {
  HIMAGELIST il = ImageList_Create(16, 16, ILC_COLOR24, 6, 0);
  const COLORREF colours[] = {RGB(255, 255, 255), RGB(196, 132, 52), RGB(52, 101, 164), RGB(204, 0, 0),
                              RGB(237, 212, 0), RGB(115, 210, 22)};
  HDC screen = GetDC(nullptr);
  for (COLORREF c : colours) {
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT all{0, 0, 16, 16};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HBRUSH b = CreateSolidBrush(c);
    RECT dot{3, 3, 13, 13};
    FillRect(dc, &dot, b);
    DeleteObject(b);
    SelectObject(dc, old);
    DeleteDC(dc);
    ImageList_Add(il, bmp, nullptr);
    DeleteObject(bmp);
  }
  ReleaseDC(nullptr, screen);
  return il;
}

int pixels(float twips) { return int(twips / 15.0f + 0.5f); }

// The tray icon reports mouse actions with a message of its own, so that an ordinary mouse
// move over the window can never be taken for a click on the icon.
constexpr UINT kTrayMessage = WM_APP + 1;
}  // namespace

GuiHost::GuiHost(void* instance) : instance_(instance) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES | ICC_DATE_CLASSES};
  InitCommonControlsEx(&icc);
  WNDCLASSA wc{};
  wc.lpfnWndProc = formProc;
  wc.hInstance = static_cast<HINSTANCE>(instance_);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = LoadIconA(static_cast<HINSTANCE>(instance_), MAKEINTRESOURCEA(1));
  wc.lpszClassName = kFormClass;
  RegisterClassA(&wc);
  wc.lpfnWndProc = panelProc;
  wc.hIcon = nullptr;
  wc.lpszClassName = kPanelClass;
  RegisterClassA(&wc);
  imageList_ = makeIcons();
  NONCLIENTMETRICSA ncm{};
  ncm.cbSize = sizeof ncm;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
  font_ = CreateFontIndirectA(&ncm.lfMessageFont);
}

GuiHost::~GuiHost() {
  for (auto& [form, fw] : forms_) delete fw;
  if (font_) DeleteObject(static_cast<HFONT>(font_));
}

void* GuiHost::windowOf(Form& form) const {
  auto it = forms_.find(&form);
  return it == forms_.end() ? nullptr : it->second->hwnd;
}

void GuiHost::readBack(Form& form) {
  for (Control* c : form.controls()) {
    if (c->kind() != Kind::ListView || !windows_.count(c)) continue;
    auto* lv = static_cast<ListView*>(c);
    HWND h = static_cast<HWND>(windows_[c]);
    for (size_t i = 0; i < lv->columns.size(); ++i) {
      int px = ListView_GetColumnWidth(h, int(i));
      if (px > 0) lv->columns[i].widthTwips = float(px * 15);
    }
  }
}

void* GuiHost::create(Form& form, void* owner, std::function<void()> onClose) {
  auto* fw = new FormWin{&form, nullptr, std::move(onClose), {}};
  forms_[&form] = fw;
  RECT r{0, 0, form.width, form.height};
  DWORD style = WS_OVERLAPPEDWINDOW & ~(owner ? (WS_MAXIMIZEBOX | WS_MINIMIZEBOX) : 0);
  HMENU menuBar = nullptr;
  std::map<std::string, HMENU> menus;
  for (Control* c : form.controls()) {
    if (c->kind() != Kind::MenuItem) continue;
    auto* m = static_cast<MenuItem*>(c);
    if (!menuBar) menuBar = CreateMenu();
    if (!menus.count(m->menu)) {
      menus[m->menu] = CreatePopupMenu();
      AppendMenuA(menuBar, MF_POPUP, reinterpret_cast<UINT_PTR>(menus[m->menu]), m->menu.c_str());
    }
    int id = nextId_++;
    fw->menu[id] = m;
    ids_[id] = m;
    AppendMenuA(menus[m->menu], MF_STRING | (m->enabled() ? 0 : MF_GRAYED), UINT_PTR(id), m->caption().c_str());
  }
  AdjustWindowRect(&r, style, menuBar != nullptr);
  fw->hwnd = CreateWindowExA(WS_EX_CONTROLPARENT, kFormClass, form.caption().c_str(), style, CW_USEDEFAULT,
                             CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, static_cast<HWND>(owner),
                             menuBar, static_cast<HINSTANCE>(instance_), this);
  for (Control* c : form.controls()) {
    if (c->kind() == Kind::MenuItem) {
      windows_[c] = fw->hwnd;
      c->setObserver(this);
      continue;
    }
    createControl(*fw, *c);
  }
  form.onFormChanged = [this, fw] { syncForm(*fw); };
  return fw->hwnd;
}

void GuiHost::createControl(FormWin& fw, Control& c) {
  HWND parent = c.container ? static_cast<HWND>(windows_[c.container]) : fw.hwnd;
  const char* cls = "STATIC";
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS, ex = 0;
  switch (c.kind()) {
    case Kind::Button: cls = "BUTTON"; style |= BS_PUSHBUTTON | WS_TABSTOP; break;
    case Kind::CheckBox: cls = "BUTTON"; style |= BS_CHECKBOX | WS_TABSTOP; break;
    case Kind::Option: cls = "BUTTON"; style |= BS_RADIOBUTTON | WS_TABSTOP; break;
    case Kind::Label: style |= SS_NOTIFY | SS_LEFT | SS_NOPREFIX; break;  // "&" in a path is text
    case Kind::Shape: style |= SS_BLACKRECT; break;
    case Kind::Frame: cls = kPanelClass; ex = WS_EX_CONTROLPARENT; break;
    case Kind::ListView:
      cls = WC_LISTVIEWA;
      style |= LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | WS_TABSTOP;
      ex = WS_EX_CLIENTEDGE;
      break;
    case Kind::Progress: cls = PROGRESS_CLASSA; break;
    case Kind::TextBox:
      cls = "EDIT";
      style |= ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP;
      ex = WS_EX_CLIENTEDGE;
      break;
    case Kind::ComboBox: cls = "COMBOBOX"; style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP; break;
    case Kind::DatePicker:
      cls = DATETIMEPICK_CLASSA;
      style |= DTS_SHOWNONE | WS_TABSTOP | (static_cast<DatePicker&>(c).timeOnly ? DTS_TIMEFORMAT : DTS_SHORTDATEFORMAT);
      break;
    case Kind::TabStrip: cls = WC_TABCONTROLA; style |= WS_TABSTOP; break;
    case Kind::Timer:
    case Kind::MenuItem: break;
  }
  int id = nextId_++;
  ids_[id] = &c;
  if (c.kind() == Kind::Timer) {
    windows_[&c] = fw.hwnd;
  } else {
    const Layout& l = c.layout;
    HWND h = CreateWindowExA(ex, cls, c.caption().c_str(), style, l.x, l.y, l.w, l.h, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), static_cast<HINSTANCE>(instance_), nullptr);
    SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    windows_[&c] = h;
    if (c.kind() == Kind::ListView) {
      auto& lv = static_cast<ListView&>(c);
      ListView_SetExtendedListViewStyle(h, LVS_EX_FULLROWSELECT | (lv.checkBoxes ? LVS_EX_CHECKBOXES : 0));
      ListView_SetImageList(h, static_cast<HIMAGELIST>(imageList_), LVSIL_SMALL);
      for (size_t i = 0; i < lv.columns.size(); ++i) {
        LVCOLUMNA col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.pszText = const_cast<char*>(lv.columns[i].header.c_str());
        col.cx = pixels(lv.columns[i].widthTwips);
        ListView_InsertColumn(h, int(i), &col);
      }
    } else if (c.kind() == Kind::TabStrip) {
      auto& ts = static_cast<TabStrip&>(c);
      for (size_t i = 0; i < ts.tabs.size(); ++i) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(ts.tabs[i].c_str());
        SendMessageA(h, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
      }
    } else if (c.kind() == Kind::ComboBox) {
      for (const std::string& s : static_cast<ComboBox&>(c).items)
        SendMessageA(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
    }
    if (c.kind() == Kind::Frame) SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
  c.setObserver(this);
  syncAll(c);
}

// Pushes the whole state of a control to its window.
void GuiHost::syncAll(Control& c) {
  changed(c, Change::State, -1);
  changed(c, Change::Value, -1);
  if (c.kind() == Kind::ListView) changed(c, Change::Rows, -1);
}

void GuiHost::syncForm(FormWin& fw) {
  HWND h = fw.hwnd;
  SetWindowTextA(h, fw.form->caption().c_str());
  LONG_PTR ex = GetWindowLongPtrA(h, GWL_EXSTYLE);
  LONG_PTR want = fw.form->showInTaskbar() ? (ex | WS_EX_APPWINDOW) & ~WS_EX_TOOLWINDOW
                                           : (ex | WS_EX_TOOLWINDOW) & ~WS_EX_APPWINDOW;
  if (want != ex) SetWindowLongPtrA(h, GWL_EXSTYLE, want);
  bool vis = fw.form->visible();
  if (!vis) {
    ShowWindow(h, SW_HIDE);
    return;
  }
  switch (fw.form->windowState()) {
    case Form::State::Maximized: if (!IsZoomed(h)) ShowWindow(h, SW_SHOWMAXIMIZED); break;
    case Form::State::Minimized: if (!IsIconic(h)) ShowWindow(h, SW_SHOWMINIMIZED); break;
    case Form::State::Normal:
      if (!IsWindowVisible(h) || IsZoomed(h) || IsIconic(h)) ShowWindow(h, SW_SHOWNORMAL);
      break;
  }
}

void GuiHost::fillRow(Control& c, int row, bool insert) {
  auto& lv = static_cast<ListView&>(c);
  HWND h = static_cast<HWND>(windows_[&c]);
  const ListItem& it = lv.item(row);
  LVITEMA item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iItem = row;
  item.pszText = const_cast<char*>(it.text.c_str());
  item.iImage = it.icon;
  if (insert) ListView_InsertItem(h, &item);
  else ListView_SetItem(h, &item);
  for (size_t col = 1; col < lv.columns.size(); ++col)
    ListView_SetItemText(h, row, int(col), const_cast<char*>(it.subItem(int(col)).c_str()));
  if (lv.checkBoxes) ListView_SetCheckState(h, row, it.checked);
}

void GuiHost::changed(Control& c, Change what, int row) {
  auto w = windows_.find(&c);
  if (w == windows_.end()) return;
  HWND h = static_cast<HWND>(w->second);
  bool was = applying_;
  applying_ = true;
  switch (c.kind()) {
    case Kind::Timer: {
      auto& t = static_cast<Timer&>(c);
      int id = 0;
      for (auto& [i, ctl] : ids_) if (ctl == &c) id = i;
      if (t.enabled()) SetTimer(h, UINT_PTR(id), UINT(t.interval), nullptr);
      else KillTimer(h, UINT_PTR(id));
      break;
    }
    case Kind::MenuItem: {
      for (auto& [i, ctl] : ids_)
        if (ctl == &c) EnableMenuItem(GetMenu(h), UINT(i), MF_BYCOMMAND | (c.enabled() ? MF_ENABLED : MF_GRAYED));
      break;
    }
    default:
      if (what == Change::State) {
        EnableWindow(h, c.enabled());
        ShowWindow(h, c.visible() ? SW_SHOWNA : SW_HIDE);
        if (c.kind() == Kind::Shape) MoveWindow(h, c.layout.x, c.layout.y, c.layout.w, c.layout.h, TRUE);
      } else if (what == Change::Caption) {
        if (c.kind() == Kind::DatePicker) what = Change::Value;
        else SetWindowTextA(h, c.caption().c_str());
      }
      if (what == Change::Value) {
        switch (c.kind()) {
          case Kind::CheckBox: SendMessageA(h, BM_SETCHECK, static_cast<CheckBox&>(c).value(), 0); break;
          case Kind::Option: SendMessageA(h, BM_SETCHECK, static_cast<OptionButton&>(c).value() ? BST_CHECKED : BST_UNCHECKED, 0); break;
          case Kind::Progress: {
            auto& p = static_cast<ProgressBar&>(c);
            SendMessageA(h, PBM_SETRANGE32, 0, p.max());
            SendMessageA(h, PBM_SETPOS, p.value(), 0);
            break;
          }
          case Kind::ComboBox: SendMessageA(h, CB_SETCURSEL, WPARAM(static_cast<ComboBox&>(c).listIndex()), 0); break;
          case Kind::TabStrip: SendMessageA(h, TCM_SETCURSEL, WPARAM(static_cast<TabStrip&>(c).selected() - 1), 0); break;
          case Kind::DatePicker: {
            DateTime t;
            if (parseDateTime(c.caption(), t)) {
              SYSTEMTIME st{};
              st.wYear = WORD(t.year), st.wMonth = WORD(t.month), st.wDay = WORD(t.day);
              st.wHour = WORD(t.hour), st.wMinute = WORD(t.minute), st.wSecond = WORD(t.second);
              SendMessageA(h, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
            } else {
              SendMessageA(h, DTM_SETSYSTEMTIME, GDT_NONE, 0);
            }
            break;
          }
          default: break;
        }
      }
      if (c.kind() == Kind::ListView) {
        auto& lv = static_cast<ListView&>(c);
        if (what == Change::Rows) {
          SendMessageA(h, WM_SETREDRAW, FALSE, 0);
          ListView_DeleteAllItems(h);
          for (int i = 0; i < lv.count(); ++i) fillRow(c, i, true);
          SendMessageA(h, WM_SETREDRAW, TRUE, 0);
        } else if (what == Change::RowAdded) {
          fillRow(c, row, true);
          ListView_EnsureVisible(h, row, FALSE);
        } else if (what == Change::RowRemoved) {
          ListView_DeleteItem(h, row);
        } else if (what == Change::RowChanged) {
          fillRow(c, row, false);
        } else if (what == Change::Columns) {
          for (size_t i = 0; i < lv.columns.size(); ++i) ListView_SetColumnWidth(h, int(i), pixels(lv.columns[i].widthTwips));
        }
      }
  }
  applying_ = was;
}

Control* GuiHost::controlById(int id) const {
  auto it = ids_.find(id);
  return it == ids_.end() ? nullptr : it->second;
}

long long GuiHost::handleMessage(void* hwndp, unsigned msg, unsigned long long wp, long long lp, bool& handled) {
  HWND hwnd = static_cast<HWND>(hwndp);
  FormWin* fw = nullptr;
  for (auto& [f, w] : forms_) if (w->hwnd == hwnd) fw = w;
  switch (msg) {
    case WM_COMMAND: {
      Control* c = controlById(LOWORD(wp));
      if (!c || applying_) break;
      int code = HIWORD(wp);
      handled = true;
      switch (c->kind()) {
        case Kind::Button: case Kind::Label: case Kind::MenuItem:
          if (code == BN_CLICKED || code == STN_CLICKED) static_cast<Button*>(c)->click();
          break;
        case Kind::CheckBox: if (code == BN_CLICKED) static_cast<CheckBox*>(c)->click(); break;
        case Kind::Option: if (code == BN_CLICKED) static_cast<OptionButton*>(c)->click(); break;
        case Kind::ComboBox:
          if (code == CBN_SELCHANGE)
            static_cast<ComboBox*>(c)->setListIndex(int(SendMessageA(reinterpret_cast<HWND>(lp), CB_GETCURSEL, 0, 0)));
          break;
        default: break;
      }
      return 0;
    }
    case WM_NOTIFY: {
      auto* nm = reinterpret_cast<NMHDR*>(lp);
      Control* c = controlById(int(nm->idFrom));
      if (!c || applying_) break;
      if (c->kind() == Kind::TabStrip && nm->code == TCN_SELCHANGE) {
        static_cast<TabStrip*>(c)->select(int(SendMessageA(nm->hwndFrom, TCM_GETCURSEL, 0, 0)) + 1);
      } else if (c->kind() == Kind::ListView && nm->code == LVN_ITEMCHANGED) {
        auto* lv = reinterpret_cast<NMLISTVIEW*>(lp);
        if ((lv->uChanged & LVIF_STATE) && ((lv->uNewState ^ lv->uOldState) & LVIS_STATEIMAGEMASK) &&
            (lv->uOldState & LVIS_STATEIMAGEMASK)) {
          bool checked = ((lv->uNewState & LVIS_STATEIMAGEMASK) >> 12) == 2;
          static_cast<ListView*>(c)->setChecked(lv->iItem, checked);
        }
      } else if (c->kind() == Kind::DatePicker && nm->code == DTN_DATETIMECHANGE) {
        auto* dt = reinterpret_cast<NMDATETIMECHANGE*>(lp);
        std::string v;
        if (dt->dwFlags == GDT_VALID) {
          DateTime t;
          t.year = dt->st.wYear, t.month = dt->st.wMonth, t.day = dt->st.wDay;
          t.hour = dt->st.wHour, t.minute = dt->st.wMinute, t.second = dt->st.wSecond;
          v = formatDateTime(t);
        }
        static_cast<DatePicker*>(c)->setValue(v);
      }
      handled = true;
      return 0;
    }
    case WM_TIMER: {
      if (Control* c = controlById(int(wp)); c && c->kind() == Kind::Timer) static_cast<Timer*>(c)->tick();
      handled = true;
      return 0;
    }
    case WM_SIZE:
      if (fw) {
        Form::State s = wp == SIZE_MAXIMIZED ? Form::State::Maximized
                        : wp == SIZE_MINIMIZED ? Form::State::Minimized : Form::State::Normal;
        if (s != fw->form->windowState()) fw->form->windowStateChanged(s);
      }
      break;
    case kTrayMessage:
      if (fw && fw->form->onTrayMouse) fw->form->onTrayMouse(int(LOWORD(lp)));
      handled = true;
      return 0;
    case WM_QUERYENDSESSION:
      if (fw && fw->onClose) {
        handled = true;
        return TRUE;  // never holds up a logoff; the exit path runs when it is confirmed
      }
      break;
    case WM_ENDSESSION:
      // The session ends without a WM_CLOSE: the same exit path runs here, so the status,
      // window state and column widths are written as on every other exit.
      if (fw && fw->onClose && wp) {
        handled = true;
        fw->onClose();
        return 0;
      }
      break;
    case WM_CLOSE:
      if (fw) {
        handled = true;
        if (fw->onClose) fw->onClose();
        else fw->form->setVisible(false);
        return 0;
      }
      break;
    default: break;
  }
  return 0;
}

void GuiHost::showModal(Form& f) {
  FormWin* fw = forms_.count(&f) ? forms_[&f] : nullptr;
  if (!fw) return;
  HWND owner = GetWindow(fw->hwnd, GW_OWNER);
  f.setVisible(true);
  if (owner) EnableWindow(owner, FALSE);
  MSG msg;
  while (f.visible() && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(fw->hwnd, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (owner) {
    EnableWindow(owner, TRUE);
    SetForegroundWindow(owner);
  }
  f.setVisible(false);
}

void GuiHost::trayIcon(Form& owner, TrayOp op, const std::string& tip) {
  HWND h = static_cast<HWND>(windowOf(owner));
  if (!h) return;
  NOTIFYICONDATAA nid{};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = h;
  nid.uID = 1;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = kTrayMessage;
  nid.hIcon = reinterpret_cast<HICON>(GetClassLongPtrA(h, GCLP_HICON));
  lstrcpynA(nid.szTip, tip.c_str(), 64);
  Shell_NotifyIconA(op == TrayOp::Add ? NIM_ADD : op == TrayOp::Modify ? NIM_MODIFY : NIM_DELETE, &nid);
}

void GuiHost::lockRedraw(Form& f, bool lock) {
  LockWindowUpdate(lock ? static_cast<HWND>(windowOf(f)) : nullptr);
}

}  // namespace quillon::win32
