#include "platform/win32/gui_host.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/win32/gui_host_records.h"
#include "platform/win32/gui_kinds.h"
#include "platform/win32/win32_platform.h"

namespace quillon::win32 {

using namespace controls;

namespace {
const char kFormClass[] = "QuillonForm";

GuiHost::FormWin* formRecord(HWND hwnd) {
  return reinterpret_cast<GuiHost::FormWin*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK formProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  GuiHost::FormWin* fw = formRecord(hwnd);
  if (fw && msg == WM_DESTROY) {
    // Destroyed from outside (its owner window went): the record goes with it, while the
    // control windows still stand.
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    fw->host->forget(*fw, GuiHost::Gone::Window);
  } else if (fw) {
    bool handled = false;
    LRESULT r = LRESULT(fw->host->handleMessage(*fw, msg, wp, lp, handled));
    if (handled) return r;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

GuiHost::GuiHost(void* instance) : instance_(instance), closeRequest_(RegisterWindowMessageA(kCloseRequestMessage)) {
  // Before any window or measurement: a program that does not say it is DPI-aware is shown
  // as if the screen had 96 DPI and stretched as a picture, its text blurred.
  SetProcessDPIAware();
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES | ICC_DATE_CLASSES};
  InitCommonControlsEx(&icc);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = formProc;
  wc.hInstance = static_cast<HINSTANCE>(instance_);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  // The program's icon, with the picture drawn for the small size where the icon file has one
  // (title bar, notification area) instead of the large one shrunk.
  wc.hIcon = LoadIconA(static_cast<HINSTANCE>(instance_), MAKEINTRESOURCEA(1));
  wc.hIconSm = static_cast<HICON>(LoadImageA(static_cast<HINSTANCE>(instance_), MAKEINTRESOURCEA(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  wc.lpszClassName = kFormClass;
  RegisterClassExA(&wc);
  registerPanelClass(static_cast<HINSTANCE>(instance_));
  registerPictureClass(static_cast<HINSTANCE>(instance_));
  quietOwner_ = CreateWindowExA(0, kFormClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                static_cast<HINSTANCE>(instance_), nullptr);
  Look look = makeLook();
  font_ = look.font;
  imageList_ = look.icons;
}

GuiHost::~GuiHost() {
  while (!forms_.empty()) forget(*forms_.begin()->second, Gone::Nothing);
  if (quietOwner_) DestroyWindow(static_cast<HWND>(quietOwner_));
  Look look{static_cast<HFONT>(font_), static_cast<HIMAGELIST>(imageList_)};
  freeLook(look);
}

GuiHost::FormWin* GuiHost::recordOf(Form& f) const {
  auto it = forms_.find(&f);
  return it == forms_.end() ? nullptr : it->second.get();
}

GuiHost::ControlRec* GuiHost::recordOf(Control& c) const {
  auto* rec = dynamic_cast<ControlRec*>(c.observer());
  return rec && rec->host == this ? rec : nullptr;
}

void* GuiHost::windowOf(Form& form) const {
  FormWin* fw = recordOf(form);
  return fw ? fw->hwnd : nullptr;
}

void* GuiHost::windowOf(Control& c) const {
  ControlRec* rec = recordOf(c);
  return rec ? rec->hwnd : nullptr;
}

Form* GuiHost::formOf(void* hwnd) const {
  char cls[32] = {0};
  HWND h = static_cast<HWND>(hwnd);
  if (!h || !GetClassNameA(h, cls, sizeof cls) || strcmp(cls, kFormClass) != 0) return nullptr;
  FormWin* fw = formRecord(h);
  return fw && fw->host == this ? fw->form : nullptr;
}

void GuiHost::readBack(Form& form) {
  for (Control* c : form.controls()) {
    ControlRec* rec = recordOf(*c);
    if (rec && c->kind() == Kind::ListView) readBackColumns(*rec);
  }
  // Where the user left the window: as it stands, or where it would stand again when it is
  // minimised, hidden in the notification area or maximised.
  if (FormWin* fw = recordOf(form)) {
    RECT at{};
    bool known;
    if (IsWindowVisible(fw->hwnd) && !IsIconic(fw->hwnd) && !IsZoomed(fw->hwnd)) {
      known = GetWindowRect(fw->hwnd, &at);
    } else {
      WINDOWPLACEMENT place{};
      place.length = sizeof place;
      known = GetWindowPlacement(fw->hwnd, &place);
      at = place.rcNormalPosition;
    }
    if (known) form.left = unscaled(int(at.left)), form.top = unscaled(int(at.top));
  }
}

bool GuiHost::takeIds(size_t n, std::vector<int>& ids) {
  if (n > freeIds_.size() + size_t(kLastId + 1 - nextId_)) return false;
  ids.reserve(n);
  while (ids.size() < n) {
    if (!freeIds_.empty()) {
      ids.push_back(freeIds_.back());
      freeIds_.pop_back();
    } else {
      ids.push_back(nextId_++);
      byId_.push_back(nullptr);
    }
  }
  return true;
}

void GuiHost::releaseId(int id) {
  byId_[size_t(id - kFirstId)] = nullptr;
  freeIds_.push_back(id);
}

GuiHost::ControlRec* GuiHost::controlById(const FormWin& fw, unsigned long long id) const {
  if (id < unsigned(kFirstId) || id - kFirstId >= byId_.size()) return nullptr;
  ControlRec* rec = byId_[size_t(id - kFirstId)];
  return rec && rec->form == &fw ? rec : nullptr;
}

void* GuiHost::create(Form& form, void* owner, std::function<void()> onClose) {
  if (FormWin* fw = recordOf(form)) {
    if (IsWindowVisible(fw->hwnd)) {
      BringWindowToTop(fw->hwnd);
      SetForegroundWindow(fw->hwnd);
    }
    return fw->hwnd;
  }
  const std::vector<Control*>& list = form.controls();
  std::vector<int> ids;
  if (!takeIds(list.size(), ids)) return nullptr;
  auto made = std::make_unique<FormWin>();
  FormWin& fw = *made;
  fw.host = this;
  fw.form = &form;
  fw.onClose = std::move(onClose);
  if (Form* ownerForm = formOf(owner)) fw.owner = recordOf(*ownerForm);
  for (size_t i = 0; i < list.size(); ++i) {
    auto rec = std::make_unique<ControlRec>();
    rec->control = list[i];
    rec->id = ids[i];
    rec->host = this;
    rec->form = &fw;
    rec->ops = &kindOps(list[i]->kind());
    byId_[size_t(ids[i] - kFirstId)] = rec.get();
    fw.controls.push_back(std::move(rec));
  }

  // The menu bar: one drop-down per menu name, in the order the items come.
  HMENU menuBar = nullptr;
  std::map<std::string, HMENU> menus;
  for (auto& rec : fw.controls) {
    if (rec->control->kind() != Kind::MenuItem) continue;
    auto* m = static_cast<MenuItem*>(rec->control);
    if (!menuBar) menuBar = CreateMenu();
    HMENU& drop = menus[m->menu];
    if (!drop) {
      drop = CreatePopupMenu();
      AppendMenuA(menuBar, MF_POPUP, reinterpret_cast<UINT_PTR>(drop), m->menu.c_str());
    }
    // A hidden item is left out; it is hidden for good (nothing shows it later).
    if (m->separator()) AppendMenuA(drop, MF_SEPARATOR, UINT_PTR(rec->id), nullptr);
    else if (m->visible())
      AppendMenuA(drop, MF_STRING | (m->enabled() ? 0 : MF_GRAYED), UINT_PTR(rec->id), m->caption().c_str());
  }

  RECT r{0, 0, scaled(form.width), scaled(form.height)};
  DWORD style = WS_OVERLAPPEDWINDOW & ~(owner ? (WS_MAXIMIZEBOX | WS_MINIMIZEBOX) : 0);
  // A notice or popup of its own is owned by a window that is never shown: an owned window
  // takes no taskbar button, whatever the shell.
  HWND ownerWindow = static_cast<HWND>(owner);
  if (!ownerWindow && form.style == Form::Style::Popup) ownerWindow = static_cast<HWND>(quietOwner_);
  DWORD exStyle = WS_EX_CONTROLPARENT | (form.topMost ? WS_EX_TOPMOST : 0);
  if (form.style == Form::Style::Dialog) style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  if (form.style == Form::Style::Popup) {
    style = WS_POPUP | WS_BORDER;
    exStyle |= WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
  }
  AdjustWindowRectEx(&r, style, menuBar != nullptr, exStyle);
  // A window with no place of its own opens in the middle of the free area of the screen.
  const int w = int(r.right - r.left), h = int(r.bottom - r.top);
  int x = scaled(form.left), y = scaled(form.top);
  if (x < 0 || y < 0) {
    const Area a = workAreaPixels();
    x = std::max(a.left, a.left + (a.right - a.left - w) / 2);
    y = std::max(a.top, a.top + (a.bottom - a.top - h) / 2);
  }
  fw.hwnd = CreateWindowExA(exStyle, kFormClass, form.caption().c_str(), style, x, y, w, h, ownerWindow, menuBar,
                            static_cast<HINSTANCE>(instance_), &fw);
  if (!fw.hwnd) {
    if (menuBar) DestroyMenu(menuBar);
    for (auto it = fw.controls.rbegin(); it != fw.controls.rend(); ++it) releaseId((*it)->id);
    return nullptr;
  }
  forms_.emplace(&form, std::move(made));
  for (auto& rec : fw.controls) bind(fw, *rec);
  form.onFormChanged = [this, &fw] { syncForm(fw); };
  form.onFormGone = [this, &fw] { forget(fw, Gone::Form); };
  fw.ready = true;
  syncForm(fw);
  return fw.hwnd;
}

// Makes the control's window (timers and menu items use the form's) and pushes its state.
void GuiHost::bind(FormWin& fw, ControlRec& rec) {
  Control& c = *rec.control;
  const KindOps& ops = *rec.ops;
  rec.hwnd = fw.hwnd;
  if (ops.windowClass) {
    ControlRec* container = c.container ? recordOf(*c.container) : nullptr;
    HWND parent = container && container->form == &fw ? container->hwnd : fw.hwnd;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | ops.style | (ops.moreStyle ? ops.moreStyle(c) : 0);
    const Layout& l = c.layout;
    const RECT at = scaledRect(l.x, l.y, l.w, l.h);
    rec.hwnd = CreateWindowExA(ops.exStyle, ops.windowClass, c.caption().c_str(), style, at.left, at.top,
                               at.right - at.left, at.bottom - at.top, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(rec.id)), static_cast<HINSTANCE>(instance_),
                               nullptr);
    SendMessageA(rec.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    if (ops.setUp) ops.setUp(rec.hwnd, c, Look{static_cast<HFONT>(font_), static_cast<HIMAGELIST>(imageList_)});
  }
  c.setObserver(&rec);
  mirror(rec, Change::State, -1);
  mirror(rec, Change::Value, -1);
  mirror(rec, Change::Rows, -1);
}

void GuiHost::mirror(ControlRec& rec, Change what, int row) {
  bool was = applying_;
  applying_ = true;
  rec.ops->mirror(rec, what, row);
  applying_ = was;
}

void GuiHost::destroy(Form& form) {
  if (FormWin* fw = recordOf(form)) forget(*fw, Gone::Nothing);
}

void GuiHost::forget(FormWin& fw, Gone gone) {
  // The forms it owns go first: the system would take their windows with this one.
  for (auto it = forms_.begin(); it != forms_.end();) {
    if (it->second->owner == &fw) {
      forget(*it->second, Gone::Nothing);
      it = forms_.begin();
    } else {
      ++it;
    }
  }
  HWND h = fw.hwnd;
  if (fw.trayIcon) setTrayIcon(h, NIM_DELETE, "");
  for (auto& rec : fw.controls) {
    if (rec->timerRunning) KillTimer(h, UINT_PTR(rec->id));
    if (rec->ops->tearDown && rec->hwnd != h) rec->ops->tearDown(rec->hwnd);
    if (gone != Gone::Form && rec->control->observer() == rec.get()) rec->control->setObserver(nullptr);
  }
  Form* form = fw.form;
  form->onFormChanged = nullptr;
  form->onFormGone = nullptr;
  if (gone != Gone::Window) {
    // Nothing that arrives while the windows go down reaches the record.
    SetWindowLongPtrA(h, GWLP_USERDATA, 0);
    DestroyWindow(h);
  }
  // Handed back in reverse, so that the next form gets them in the same order.
  for (auto it = fw.controls.rbegin(); it != fw.controls.rend(); ++it) releaseId((*it)->id);
  forms_.erase(form);
  if (gone != Gone::Form) form->setVisible(false);
}

void GuiHost::syncForm(FormWin& fw) {
  HWND h = fw.hwnd;
  // Only a change of the model's state is mirrored: a modal window of the host's own disables
  // its owner through the system, and a caption change must not enable it under that window.
  if (fw.enabled != fw.form->enabled()) {
    fw.enabled = fw.form->enabled();
    EnableWindow(h, fw.enabled ? TRUE : FALSE);
  }
  SetWindowTextA(h, fw.form->caption().c_str());
  LONG_PTR ex = GetWindowLongPtrA(h, GWL_EXSTYLE);
  const bool button = fw.form->showInTaskbar() && fw.form->style != Form::Style::Popup;
  LONG_PTR want = button ? (ex | WS_EX_APPWINDOW) & ~WS_EX_TOOLWINDOW : (ex | WS_EX_TOOLWINDOW) & ~WS_EX_APPWINDOW;
  if (want != ex) {
    SetWindowLongPtrA(h, GWL_EXSTYLE, want);
    // The frame is drawn for the old style (a tool window's small caption without the icon)
    // until it is told that the style changed.
    SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  bool vis = fw.form->visible();
  if (!vis) {
    ShowWindow(h, SW_HIDE);
    return;
  }
  if (fw.form->left >= 0 && fw.form->top >= 0) {
    RECT at;
    GetWindowRect(h, &at);
    const int x = scaled(fw.form->left), y = scaled(fw.form->top);
    if (at.left != x || at.top != y) SetWindowPos(h, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (fw.form->style == Form::Style::Popup) {
    if (!IsWindowVisible(h)) ShowWindow(h, SW_SHOWNOACTIVATE);
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

// A handler may destroy the form it runs for (an alert's OK button does): after a control's
// call nothing here touches the records again.
long long GuiHost::handleMessage(FormWin& fw, unsigned msg, unsigned long long wp, long long lp, bool& handled) {
  if (msg == closeRequest_ && closeRequest_) {
    handled = true;
    if (onCloseRequest) {
      auto close = onCloseRequest;  // a copy: the exit path may end with the host
      close();
    }
    return 0;
  }
  switch (msg) {
    case WM_COMMAND: {
      ControlRec* rec = controlById(fw, LOWORD(wp));
      if (!rec || applying_) break;
      handled = true;
      if (rec->ops->command) rec->ops->command(*rec, HIWORD(wp));
      return 0;
    }
    case WM_NOTIFY: {
      const auto& nm = *reinterpret_cast<const NMHDR*>(lp);
      ControlRec* rec = controlById(fw, nm.idFrom);
      // A list asking for the text of a cell it draws is answered even while a change is mirrored.
      if (!rec || (applying_ && nm.code != LVN_GETDISPINFOA)) break;
      handled = true;
      if (rec->ops->notify) rec->ops->notify(*rec, nm);
      return 0;
    }
    case WM_TIMER: {
      handled = true;
      ControlRec* rec = controlById(fw, wp);
      if (rec && rec->ops->timer) rec->ops->timer(*rec);
      return 0;
    }
    case WM_SIZE:
      // Sizes reported while the window is being made are not the user's doing.
      if (fw.ready) {
        Form& f = *fw.form;
        Form::State s = wp == SIZE_MAXIMIZED ? Form::State::Maximized
                        : wp == SIZE_MINIMIZED ? Form::State::Minimized : Form::State::Normal;
        // A minimised window keeps the size it will come back with.
        const int w = unscaled(LOWORD(lp)), h = unscaled(HIWORD(lp));
        const bool sized = s != Form::State::Minimized && (w != f.width || h != f.height);
        if (sized) f.width = w, f.height = h;
        if (s != f.windowState()) f.windowStateChanged(s);
        else if (sized) f.clientResized(w, h);
      }
      break;
    case WM_GETMINMAXINFO:
      if (fw.form->minWidth > 0 && fw.form->minHeight > 0) {
        RECT r{0, 0, scaled(fw.form->minWidth), scaled(fw.form->minHeight)};
        AdjustWindowRectEx(&r, DWORD(GetWindowLongPtrA(fw.hwnd, GWL_STYLE)), GetMenu(fw.hwnd) != nullptr,
                           DWORD(GetWindowLongPtrA(fw.hwnd, GWL_EXSTYLE)));
        auto& info = *reinterpret_cast<MINMAXINFO*>(lp);
        info.ptMinTrackSize = {r.right - r.left, r.bottom - r.top};
        handled = true;
      }
      break;
    case WM_SETCURSOR:
      // Sent for every mouse move over the window or any of its controls (a control passes it
      // to its parent first): one place to hear the mouse over the whole form. The cursor
      // itself is still left to the system.
      if (HIWORD(lp) == WM_MOUSEMOVE && fw.form->onMouseMove) fw.form->onMouseMove();
      break;
    case kTrayMessage:
      handled = true;
      if (fw.form->onTrayMouse) fw.form->onTrayMouse(int(LOWORD(lp)));
      return 0;
    case WM_QUERYENDSESSION:
      if (fw.onClose) {
        handled = true;
        return TRUE;  // never holds up a logoff; the exit path runs when it is confirmed
      }
      break;
    case WM_ENDSESSION:
      // The session ends without a WM_CLOSE: the same exit path runs here, so the status,
      // window state and column widths are written as on every other exit.
      if (fw.onClose && wp) {
        handled = true;
        auto close = fw.onClose;  // a copy: the exit path may destroy the record
        close();
        return 0;
      }
      break;
    case WM_CLOSE: {
      handled = true;
      if (!fw.onClose) {
        fw.form->setVisible(false);
        return 0;
      }
      auto close = fw.onClose;
      close();
      return 0;
    }
    default: break;
  }
  return 0;
}

}  // namespace quillon::win32
