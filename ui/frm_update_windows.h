// The two windows of a Live Update: the download window, up while the program talks to the
// definition server, and the notice that slides up above the taskbar with the outcome.
#pragma once
#include <functional>
#include <string>

#include "controls/controls.h"
#include "controls/form_host.h"
#include "update/update_windows.h"

namespace quillon::ui {

// Forms are made of the headless controls.
using namespace quillon::controls;

class FrmDownload : public Form {
 public:
  explicit FrmDownload(FormHost& host);
  void Form_Load();
  void Form_Unload();
  void tmrBlink_Timer();
  void TrayMouse(int message);
  // How far the download has come: the bar shows it while the server has said how much comes,
  // and is hidden while it has not.
  void showProgress(size_t received, size_t expected);

  // Status lines from the fetch and the merge.
  TextBox txtStatus{this, "txtStatus"};
  Label lblProduct{this, "lblProduct"};
  Picture picDownload{this, "picDownload", 12};
  ProgressBar pgbDownload{this, "pgbDownload"};
  Button cmdCancel{this, "cmdCancel", "Cancel"};
  Timer tmrBlink{this, "tmrBlink", 800, false};
  Timer tmrPicture{this, "tmrPicture", 90, false};

  DownloadBlink blink;  // the stage counter lives for the whole program run

 private:
  FormHost& host_;
};

class FrmSignatureUpdated : public Form {
 public:
  explicit FrmSignatureUpdated(FormHost& host);
  void Form_Load(const std::string& product);
  void Form_Unload();
  void tmrPopupSignatureUpdate_Timer();
  void tmrEnablePopDownTimer_Timer();
  void tmrPopDown_Timer();
  void cmdOk_Click();

  Label lblTitle{this, "lblTitle", "Definition Update"};
  Label lblUpdateInfo{this, "lblUpdateInfo"};
  Button cmdOk{this, "cmdOk", "OK"};
  Timer tmrPopupSignatureUpdate{this, "tmrPopupSignatureUpdate", 10, false};
  Timer tmrEnablePopDownTimer{this, "tmrEnablePopDownTimer", 7000, false};
  Timer tmrPopDown{this, "tmrPopDown", 10, false};

  // The OK button's duties outside the notice (the settings store, the download window's
  // tray icon); the notice then closes itself.
  std::function<void()> onOk;
  const NoticeSlide& slide() const { return slide_; }

 private:
  void place();
  FormHost& host_;
  NoticeSlide slide_;
};

}  // namespace quillon::ui
