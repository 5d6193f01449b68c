#include "selftest/selftest_scanner.h"

#include "session/session.h"

namespace quillon {

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
  Session session(platform_, appFolder + "\\quillon-cli.exe", b);
  SelfTestScan out;
  if (!session.load()) return out;
  BoxScanHost scanHost(session);
  out.looked = session.scan(false, scanHost).looked;
  for (const FoundRow& row : session.results.foundRows()) out.rows.push_back(row.text);
  for (int i = 0; i < session.results.removalCount(); ++i) out.findings.push_back(session.results.removalRow(i));
  if (remove) {
    session.results.checkAll();
    BoxRemovalHost removalHost(session);
    session.remove(RemovalOptions{true, true, b.productName}, removalHost);
    out.left = session.results.removalCount();
  }
  return out;
}

}  // namespace quillon
