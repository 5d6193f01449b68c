#include "ui/selftest_scanner.h"

#include "controls/form_host.h"
#include "ui/frm_main.h"

namespace quillon::ui {

namespace {
PlatformParts forSamples(Platform& platform, SystemRestore& none, Dialogs& answers) {
  PlatformParts parts = platform.parts();
  parts.restore = &none;
  parts.dialogs = &answers;
  return parts;
}
}  // namespace

int SelfTestScanner::AnswerYes::messageBox(const std::string&, const std::string&, unsigned flags) {
  switch (flags & 0xF) {
    case kMbYesNo:
    case kMbYesNoCancel: return kIdYes;
    case kMbAbortRetryIgnore: return kIdAbort;
    case kMbRetryCancel: return kIdCancel;
    default: return kIdOk;
  }
}

SelfTestScanner::SelfTestScanner(Platform& platform, Branding branding)
    : platform_(forSamples(platform, noRestore_, answerYes_)), branding_(std::move(branding)) {}

SelfTestScan SelfTestScanner::scan(const std::string& appFolder, const std::string& settingsName, bool remove) {
  Branding b = branding_;
  b.productName = settingsName;  // a settings store of its own: the user's options stay untouched
  controls::HeadlessHost host;
  FrmMain main(platform_, host, appFolder + "\\quillon-cli.exe", b);
  main.consoleMode = true;
  main.Form_Load();
  SelfTestScan out;
  if (!main.loaded()) return out;
  main.cmdScanNow_Click();
  out.looked = main.lastRunLooked();
  for (const controls::ListItem& row : main.lvwSpywareFound.items()) out.rows.push_back(row.text);
  for (int i = 0; i < main.results.removalCount(); ++i) out.findings.push_back(main.results.removalRow(i));
  if (remove) {
    main.cmdSelectAll_Click();
    main.Command4_Click();
    out.left = main.results.removalCount();
  }
  return out;
}

}  // namespace quillon::ui
