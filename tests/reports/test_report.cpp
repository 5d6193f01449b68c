#include <gtest/gtest.h>
#include <windows.h>

#include "reports/report.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {
const std::string kHead =
    "\r\n\r\nQuillonTest                   v1.0   Scan Report.\r\n\r\n\r\n\r\n-----------------------\r\n\r\n"
    " Scan Started at  : S\r\n\r\n Scan Finished at : F\r\n\r\n-----------------------\r\n\r\n"
    "\r\n\r\n\r\n\r\n\r\n\r\n"
    " 1)Total Number of Cookies and Processes inspected: 1\r\n\r\n"
    " 2)Total Number of Registry entries inspected: 2\r\n\r\n"
    " 3)Total Number of Files/Folders inspected: 3\r\n\r\n\r\n\r\n[Threats Detected]\r\n\r\n\r\n";
}

TEST(Report, GoldenWithoutAndWithOptionalSections) {
  App app;
  ScanResults& results = app.session().results;
  ReportInputs in{"QuillonTest", 1, 0, "S", "F", "1", "2", "3", results};
  makeReport(app.fs, app.folder, in);
  EXPECT_EQ(app.readText("Scan_Log.txt"),
            kHead + "Total = 0\r\n\r\n\r\n\r\n=====================End Of Report.\r\n");

  results.addThreat("Twin", kIconFile, "C:\\a.dll", "");
  app.writeText("ENoSignature.txt", "one\r\n \r\n  \r\n\r\ntwo\r\n");
  makeFolder(app.path("quarantine"));
  app.writeText("quarantine\\QuarantineLog.txt", "q1\r\nq2\r\n");
  // Another scan ending at the same moment writes its own beside the report, and a read-only,
  // hidden report is replaced all the same.
  HANDLE other = CreateFileA(app.path("Scan_Log.txt.1.new").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  SetFileAttributesA(app.path("Scan_Log.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(makeReport(app.fs, app.folder, in));
  CloseHandle(other);
  EXPECT_TRUE(app.fs.deleteFile(app.path("Scan_Log.txt.1.new")));
  for (const FolderEntry& e : app.fs.listFolder(app.folder)) EXPECT_EQ(e.name.find(".new"), std::string::npos) << e.name;
  EXPECT_EQ(app.readText("Scan_Log.txt"),
            kHead + "Twin\r\n\r\nC:\\a.dll\r\n\r\n\r\nTotal = 1\r\n\r\n" +
                "\r\n[Files Currently Excluded]\r\n\r\none\r\n  \r\ntwo\r\n\r\n\r\n" +
                "\r\n[Current Quarantine Log]\r\n\r\nq1\r\n\r\nq2\r\n\r\n\r\n\r\n\r\n" +
                "\r\n\r\n=====================End Of Report.\r\n");
}

TEST(Report, ViewerShowsTheReportThroughViewLog) {
  App app;
  auto& m = app.main();
  app.writeText("Scan_Log.txt", "\r\nfirst\r\n\r\n   \r\nsecond\r\n");
  std::string shown, caption;
  bool labelDisabled = false;
  app.host.onModal = [&](controls::Form& f) {
    shown = m.frmReport.txtReport.text();
    caption = f.caption();
    labelDisabled = !m.pageScan.lblViewLogFile.enabled();
  };
  m.cmdLog.click();
  EXPECT_EQ(shown, "\r\nfirst\r\n\r\nsecond");
  EXPECT_EQ(caption, "QuillonTest Log");
  EXPECT_TRUE(labelDisabled);
  EXPECT_TRUE(m.pageScan.lblViewLogFile.enabled());
}

TEST(Report, AReportThatCannotBeWrittenIsSaidOnTheStatusLine) {
  App app;
  app.writeEmptyDefinitions();
  makeFolder(app.path("Scan_Log.txt"));
  auto& m = app.main();
  m.Form_Load();
  m.pageScan.cmdScanNow_Click();
  EXPECT_TRUE(m.reportFailed());
  EXPECT_EQ(m.pageScan.lblStatus.caption(),
            "Scanning complete. The scan report could not be written to " + app.path("Scan_Log.txt") + ".");
}
