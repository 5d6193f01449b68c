// The shields' alert windows on a real display: what they show, that the main window takes no
// input while one is up and the tray popup never covers it, and that a press on a button
// answers. Needs Xvfb.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>

#include "shields/home_page_shield.h"
#include "tests/support/gui.h"

using namespace quillon;
using namespace quillon::test;

namespace {
// Runs while an alert's own message loop waits: the test looks at the window and answers.
std::function<void()> whileUp;
void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (whileUp) whileUp();
}

struct GuiShields : GuiFixture {
  UINT_PTR timer = 0;
  int looks = 0;
  void SetUp() override {
    app.writeEmptyDefinitions();
    showMain();
    timer = SetTimer(nullptr, 0, 200, onTimer);
  }
  void TearDown() override {
    KillTimer(nullptr, timer);
    whileUp = nullptr;
  }
  // Calls `look` once the form's window is up; gives up (closing it) after about 20 s.
  void whenShown(controls::Form& f, std::function<void()> look) {
    whileUp = [this, &f, look] {
      if (++looks > 100) f.setVisible(false);
      HWND h = hw(f);
      if (!h || !IsWindowVisible(h)) return;
      auto once = look;  // clearing whileUp destroys this lambda and its copy of `look`
      whileUp = nullptr;
      once();
    };
  }
};
}  // namespace

TEST_F(GuiShields, TheMemoryAlertShowsTheProgramHoldsTheMainWindowAndStopAnswers) {
  std::string listed = folderWithSampleWaiter(app, "listed");
  app.writeDefinitions("ExeDefinition.dat", {"quillon-sample-waiter.exe=Sample.Waiter|" + listed});
  RunningProgram threat(listed + "\\quillon-sample-waiter.exe");
  ui::FrmSpywareFoundAlert& alert = m->frmSpywareFoundAlert;
  std::string caption, file, company;
  bool mainUsable = true, topMost = false, popupUp = true, popupBack = true;
  // In the tray, where memory alerts come, with the tray popup up.
  SendMessageA(hw(m->Command5), BM_CLICK, 0, 0);
  SendMessageA(main, WM_APP + 1, 1, WM_LBUTTONDOWN);
  ASSERT_NE(hw(m->frmMenuPopUp), nullptr);
  auto popupShown = [&] { return hw(m->frmMenuPopUp) && IsWindowVisible(hw(m->frmMenuPopUp)); };
  whenShown(alert, [&] {
    caption = text(hw(alert));
    file = text(hw(alert.lblAlertFileName));
    company = text(hw(alert.lblAlertCompanyName));
    mainUsable = IsWindowEnabled(main) != FALSE;
    topMost = (GetWindowLongA(hw(alert), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    popupUp = popupShown();
    SendMessageA(main, WM_APP + 1, 1, WM_LBUTTONDOWN);  // a press on the icon brings none back
    popupBack = popupShown();
    PostMessageA(hw(alert.cmdYes), BM_CLICK, 0, 0);
  });
  m->tmrMemoryInspected_Timer();  // the timer itself runs only while the window is out of the way
  EXPECT_EQ(caption, "Malicious Program Found");
  EXPECT_EQ(file, "QUILLON-SAMPLE-WAITER.EXE");
  EXPECT_EQ(company, "No Company name for QUILLON-SAMPLE-WAITER.EXE");
  EXPECT_FALSE(mainUsable);
  EXPECT_FALSE(popupUp);
  EXPECT_FALSE(popupBack);
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_TRUE(topMost);
  EXPECT_TRUE(threat.waitForEnd(5000));
  EXPECT_EQ(hw(alert), nullptr);  // unloaded after its answer
  EXPECT_TRUE(m->tmrMemoryInspected.enabled());
}

TEST_F(GuiShields, TheHomePageQuestionShowsBothPagesAndNoKeepsTheNewOne) {
  std::string before;
  bool had = readRegistryValue(app.registry, kHkeyCurrentUser, kStartPageKey, kStartPageValue, before);
  auto setPage = [&](const std::string& p) {
    app.registry.setValue(kHkeyCurrentUser, kStartPageKey, kStartPageValue, RegValue{kRegSz, p + '\0'});
  };
  setPage("http://home.example/");
  m->tmrCheckHomePage.tick();
  setPage("http://hijack.example/");
  ui::FrmHomePageChangedAlert& q = m->frmHomePageChangedAlert;
  std::string info, product;
  bool mainUsable = true;
  whenShown(q, [&] {
    mainUsable = IsWindowEnabled(main) != FALSE;
    info = text(hw(q.lblHomePageInfo));
    product = text(hw(q.lblFrmHomePageProductName));
    PostMessageA(hw(q.cmdNO), BM_CLICK, 0, 0);
  });
  m->tmrCheckHomePage.tick();
  EXPECT_EQ(product, app.product);
  EXPECT_FALSE(mainUsable);
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_NE(info.find("Click YES to keep your homepage as:\r\nhttp://home.example/"), std::string::npos);
  EXPECT_NE(info.find("Click No to change your homepage to:\r\nhttp://hijack.example/"), std::string::npos);
  EXPECT_EQ(m->settings.read(keys::Homepage), "http://hijack.example/");
  EXPECT_EQ(hw(q), nullptr);
  if (had) setPage(before);
  else app.registry.deleteValue(kHkeyCurrentUser, kStartPageKey, kStartPageValue);
}
