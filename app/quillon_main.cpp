// quillon.exe: the desktop program.
#include <windows.h>

#include "platform/win32/gui_host.h"
#include "platform/win32/win32_platform.h"
#include "ui/frm_main.h"

using namespace quillon;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  win32::Win32Services services;
  Platform platform = services.gui();
  win32::GuiHost host(instance);
  ui::FrmMain main(platform, host, services.process.exePath(), services.process.ownBranding());

  bool closing = false;
  main.onExit = [&closing] {
    closing = true;
    PostQuitMessage(0);
  };
  main.beforeUnload = [&main, &host] { host.readBack(main); };
  HWND hwnd = static_cast<HWND>(host.create(main, nullptr, [&main] {
    main.Form_QueryUnload();
    main.Form_Unload();
  }));
  host.create(main.frmReport, hwnd, nullptr);
  services.dialogs.setOwner(hwnd);

  main.Form_Load();
  main.setVisible(true);

  MSG msg;
  while (!closing && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(hwnd, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
