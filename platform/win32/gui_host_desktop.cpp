// What the window host does for forms beyond binding them: the modal loop, the tray icon and
// its balloon, the screen's areas and the redraw lock.
#include <windows.h>
#include <shellapi.h>

#include <iterator>
#include <string>

#include "platform/win32/gui_host_records.h"
#include "platform/win32/gui_kinds.h"

namespace quillon::win32 {

using namespace controls;

void setTrayIcon(HWND h, DWORD op, const std::string& tip) {
  NOTIFYICONDATAA nid{};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = h;
  nid.uID = 1;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = kTrayMessage;
  nid.hIcon = reinterpret_cast<HICON>(GetClassLongPtrA(h, GCLP_HICONSM));
  if (!nid.hIcon) nid.hIcon = reinterpret_cast<HICON>(GetClassLongPtrA(h, GCLP_HICON));
  lstrcpynA(nid.szTip, tip.c_str(), 64);
  Shell_NotifyIconA(op, &nid);
}

void GuiHost::showModal(Form& f) {
  // A form that comes and goes gets its window when it is first asked for.
  if (!recordOf(f)) create(f, nullptr, nullptr);
  FormWin* fw = recordOf(f);
  if (!fw) return;
  HWND owner = GetWindow(fw->hwnd, GW_OWNER);
  f.setVisible(true);
  if (owner) EnableWindow(owner, FALSE);
  // The form may be destroyed (and made again) by its own handlers while it is up: its window
  // is looked up for every message, and destroying it ends the loop.
  MSG msg;
  while (f.visible() && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (HWND h = static_cast<HWND>(windowOf(f)); h && IsDialogMessageA(h, &msg)) continue;
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
  FormWin* fw = recordOf(owner);
  if (!fw) return;
  setTrayIcon(fw->hwnd, op == TrayOp::Add ? NIM_ADD : op == TrayOp::Modify ? NIM_MODIFY : NIM_DELETE, tip);
  fw->trayIcon = op != TrayOp::Delete;
}

void GuiHost::trayBalloon(Form& owner, const std::string& title, const std::string& text) {
  FormWin* fw = recordOf(owner);
  if (!fw || !fw->trayIcon) return;
  // The texts are the program's own, in the code page; the balloon takes them wide, so that
  // any character of a path or name in them shows as it is.
  auto wide = [](const std::string& s, wchar_t* out, int size) {
    int n = MultiByteToWideChar(CP_ACP, 0, s.data(), int(s.size()), out, size - 1);
    out[n > 0 ? n : 0] = L'\0';
  };
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = fw->hwnd;
  nid.uID = 1;
  nid.uFlags = NIF_INFO;
  nid.dwInfoFlags = NIIF_INFO;
  wide(title.substr(0, 63), nid.szInfoTitle, int(std::size(nid.szInfoTitle)));
  wide(text.substr(0, 255), nid.szInfo, int(std::size(nid.szInfo)));
  Shell_NotifyIconW(NIM_MODIFY, &nid);
}

void GuiHost::open(Form& f, Form* owner) {
  if (!recordOf(f)) create(f, owner ? windowOf(*owner) : nullptr, nullptr);
  f.setVisible(true);
}

GuiHost::Area GuiHost::workAreaPixels() {
  RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
  // Some shells (Wine's desktop among them) report the whole screen while their taskbar
  // stands at its bottom: the taskbar window itself then says where the free area ends.
  RECT bar;
  if (HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
      tray && IsWindowVisible(tray) && GetWindowRect(tray, &bar) && bar.top > r.top && bar.top < r.bottom &&
      bar.bottom >= r.bottom && bar.left <= r.left && bar.right >= r.right)
    r.bottom = bar.top;
  return Area{int(r.left), int(r.top), int(r.right), int(r.bottom)};
}

// The forms place themselves in design units, as they lay out their controls.
GuiHost::Area GuiHost::workArea() {
  const Area a = workAreaPixels();
  return Area{unscaled(a.left), unscaled(a.top), unscaled(a.right), unscaled(a.bottom)};
}

GuiHost::Area GuiHost::screenArea() {
  return Area{0, 0, unscaled(GetSystemMetrics(SM_CXSCREEN)), unscaled(GetSystemMetrics(SM_CYSCREEN))};
}

void GuiHost::lockRedraw(Form& f, bool lock) {
  LockWindowUpdate(lock ? static_cast<HWND>(windowOf(f)) : nullptr);
}

}  // namespace quillon::win32
