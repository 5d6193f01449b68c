// The system's open-file dialog, answered by a helper thread that plays the user. Needs a
// display (Xvfb).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {
// Waits for the dialog with this title, then types `file` into its name box and presses Open,
// or presses Cancel when `file` is empty. False when no dialog appeared.
bool answerDialog(const std::string& title, const std::string& file) {
  for (int i = 0; i < 200; ++i) {
    if (HWND dlg = FindWindowA("#32770", title.c_str())) {
      Sleep(200);  // let it finish its own start-up
      if (file.empty()) {
        PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
        return true;
      }
      // The name box is a combo box in the explorer-style dialog, an edit box in the old one.
      const int nameBoxes[] = {0x47C, 0x480};
      for (int id : nameBoxes)
        if (HWND box = GetDlgItem(dlg, id)) SetWindowTextA(box, file.c_str());
      PostMessageA(dlg, WM_COMMAND, IDOK, 0);
      return true;
    }
    Sleep(50);
  }
  return false;
}
}  // namespace

TEST(FileDialog, ChoosesAnExistingFileOrIsCancelled) {
  App app;
  app.writeText("pick me.txt", "x");
  win32::Win32FileDialog dialog;
  std::string path = "unchanged";
  char before[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, before);

  std::atomic<bool> answered{false};
  std::thread user([&] { answered = answerDialog("Quillon test: pick", app.path("pick me.txt")); });
  EXPECT_TRUE(dialog.chooseFile("Quillon test: pick", path));
  user.join();
  EXPECT_TRUE(answered);
  EXPECT_EQ(path, app.path("pick me.txt"));
  char after[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, after);
  EXPECT_STREQ(after, before);  // choosing a file does not move the current folder

  path = "unchanged";
  std::thread cancel([&] { answered = answerDialog("Quillon test: cancel", ""); });
  EXPECT_FALSE(dialog.chooseFile("Quillon test: cancel", path));
  cancel.join();
  EXPECT_TRUE(answered);
  EXPECT_EQ(path, "unchanged");

  // Nobody can choose in a console; the headless fake answers as the test says.
  EXPECT_FALSE(win32::ConsoleFileDialog().chooseFile("x", path));
  EXPECT_FALSE(app.fileDialog.chooseFile("Browse", path));
  app.fileDialog.chosen = "C:\\x\\y.exe";
  EXPECT_TRUE(app.fileDialog.chooseFile("Browse", path));
  EXPECT_EQ(path, "C:\\x\\y.exe");
  EXPECT_EQ(app.fileDialog.titles, (std::vector<std::string>{"Browse", "Browse"}));
}
