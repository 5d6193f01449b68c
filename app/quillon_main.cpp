// quillon.exe: the desktop program. The splash window reads the branding and, after its 75
// ticks, loads the main window.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/win32/gui_host.h"
#include "platform/win32/win32_platform.h"
#include "removal/uninstall.h"
#include "ui/frm_main.h"
#include "ui/frm_splash.h"

using namespace quillon;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  // The self-test's running sample: no window, nothing read or written; it waits to be found
  // and stopped, and ends by itself after two minutes if nothing stops it.
  if (std::strncmp(commandLine, "/selftest-wait", 14) == 0) {
    Sleep(120000);
    return 0;
  }
  win32::Win32Services services;
  Platform platform = services.gui();
  // "/uninstall LEVEL": the installer's last call before it removes the program's files.
  if (std::strncmp(commandLine, "/uninstall", 10) == 0) {
    uninstallProgram(platform, services.thisProgram.exePath(), services.thisProgram.branding().productName,
                     std::atoi(commandLine + 10));
    return 0;
  }
  win32::GuiHost host(instance);

  ui::FrmSplash splash;
  // Asked to close before the main window is up, the program has written nothing yet.
  host.onCloseRequest = [] { ExitProcess(0); };
  host.create(splash, nullptr, nullptr);
  const Branding branding = services.thisProgram.branding();
  std::unique_ptr<ui::FrmMain> main;

  splash.onDone = [&] {
    main = std::make_unique<ui::FrmMain>(platform, host, services.thisProgram.exePath(), branding);
    ui::FrmMain& m = *main;
    // The exit path has written what it keeps (settings, status, window state) and told the
    // run in progress to stop. The process ends here rather than unwinding that run and taking
    // its windows down one by one, which under some shells takes seconds: no download or merge
    // can follow Exit, no window lingers, and the single-instance lock is free at once.
    m.onExit = [] { ExitProcess(0); };
    m.endProcess = [] { ExitProcess(0); };
    m.beforeUnload = [&host, &m] { host.readBack(m); };
    auto close = [&m] {
      m.Form_QueryUnload();
      m.Form_Unload();
    };
    HWND hwnd = static_cast<HWND>(host.create(m, nullptr, close));
    // The installer asks before it replaces or removes the program's files: the program ends
    // as when its window is closed, also from inside a box or a run.
    host.onCloseRequest = close;
    host.create(m.frmReport, hwnd, nullptr);
    host.create(m.frmDelete, hwnd, nullptr);
    services.dialogs.setOwner(hwnd);
    services.fileDialog.setOwner(hwnd);
    m.Form_Load();
    // Shown in whatever state start-up left it: a window sent to the tray stays minimised.
    m.setVisible(true);
  };
  splash.setVisible(true);
  splash.Form_Load(branding.productName);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    HWND active = GetActiveWindow();
    if (active && IsDialogMessageA(active, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
