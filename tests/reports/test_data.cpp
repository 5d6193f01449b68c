#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "definitions/cipher.h"
#include "reports/data_server.h"
#include "shell/server_addresses.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {

// The server the test command starts (nginx, tools/publisher-env.sh), when its data log is
// known too; the tests that talk to it skip without them.
std::string testServer() {
  const char* s = std::getenv("QUILLON_TEST_SERVER");
  return s && std::getenv("QUILLON_TEST_SERVER_LOG") ? s : "";
}

// Whether the server's data log holds `payload` (a whole one or a part): it keeps each data
// argument exactly as sent.
bool serverLogged(const std::string& payload) {
  const char* log = std::getenv("QUILLON_TEST_SERVER_LOG");
  std::string text;
  if (log) win32::Win32FileSystem().readAll(log, text);
  return text.find(percentEncode(payload)) != std::string::npos;
}

// Points the machine at a data server for one test and back at the build's own afterwards.
struct DataServerFixture : ::testing::Test {
  App app;
  void point(const std::string& address) { app.main().settings.write(keys::DataServer, address); }
  void TearDown() override { app.main().settings.write(keys::DataServer, ""); }
};

}  // namespace

TEST(DataPayload, EncipheredNamesArePercentEncodedAndTheSystemsOwnAreLeftOut) {
  const std::string payload = dataPayload({"a b&c.exe", "x#y+z%.exe"}, true);
  EXPECT_EQ(payload, encodeDefinitionLine("a b&c.exe") + "|" + encodeDefinitionLine("x#y+z%.exe") + "|");
  const std::string url = dataRequestUrl("http://h:1/", payload);
  ASSERT_EQ(url.rfind("http://h:1/asp/getData.asp?data=", 0), 0u);
  const std::string query = url.substr(std::string("http://h:1/asp/getData.asp?data=").size());
  EXPECT_EQ(query.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.~|%"),
            std::string::npos);
  EXPECT_EQ(percentEncode(std::string("\x00 \xff", 3)), "%00%20%FF");
  EXPECT_EQ(reportablePrograms({"System", "svchost.exe", "SVCHOST.EXE", "evil.exe", "evil.exe", "explorer.exe"}),
            (std::vector<std::string>{"SVCHOST.EXE", "evil.exe", "evil.exe"}));
  EXPECT_TRUE(dataAnswerAccepted("name was added"));
  EXPECT_TRUE(dataAnswerAccepted("SKIPPED"));
  EXPECT_FALSE(dataAnswerAccepted("<html>500</html>"));
}

TEST_F(DataServerFixture, SubmitShowsTheServersAnswerAndEmptiesTheBox) {
  if (testServer().empty()) GTEST_SKIP() << "no test server with a data log";
  point(testServer());
  ui::FrmMain& m = app.main();
  const std::string id = "quillon-test-" + std::to_string(GetTickCount()) + " a&b", name = id + "#c.exe";
  m.pageStatus.txtFilename.setText(name);
  m.pageStatus.txtFilename.onKeyPress(13);  // Enter submits
  EXPECT_EQ(m.pageStatus.lblSubmitResult.caption(), "Results: " + name + " submitted.  Thank you!");
  EXPECT_EQ(m.pageStatus.txtFilename.text(), "");
  // The server got the name whole: blank, "&" and "#" did not end it.
  EXPECT_TRUE(serverLogged(dataPayload({name}, true)));
  m.pageStatus.txtFilename.setText(name);
  m.pageStatus.cmdSubmit_Click();  // sent again: still a success
  EXPECT_EQ(m.pageStatus.lblSubmitResult.caption(), "Results: " + name + " submitted.  Thank you!");
  m.pageStatus.cmdSubmit_Click();  // an empty box sends just the separator
  EXPECT_EQ(m.pageStatus.lblSubmitResult.caption(), "Results:  submitted.  Thank you!");
}

// The machine's setting points at another server than the build's, taken without its last "/".
TEST_F(DataServerFixture, AnUnreachableServerIsAProblemNotASuccess) {
  ui::FrmMain& m = app.main();
  EXPECT_EQ(dataServer(m.settings), QUILLON_TEST_BUILD_DATA_SERVER);
  point("http://127.0.0.1:1/");
  EXPECT_EQ(dataServer(m.settings), "http://127.0.0.1:1");
  m.pageStatus.txtFilename.setText("x.exe");
  m.pageStatus.cmdSubmit_Click();
  EXPECT_EQ(m.pageStatus.lblSubmitResult.caption(), "Results: There was a problem submitting x.exe.  Please make sure you are "
                                 "connected to the internet, or try again later.");
}

TEST_F(DataServerFixture, AnonymousDataNamesTheRunningPrograms) {
  ui::FrmMain& m = app.main();
  const std::string list = runningProgramPayload(m.platform.management);
  ASSERT_FALSE(list.empty()) << "the management service gave no process";
  // This very program runs, so its enciphered name is in the list.
  EXPECT_NE(list.find(encodeDefinitionLine("quillon_tests.exe")), std::string::npos);
  if (testServer().empty()) GTEST_SKIP() << "no test server with a data log";
  point(testServer());
  // "Click Here to Continue" after a scan that left nothing to remove sends it.
  m.tabScanOptions.chkSendData.setValue(1);
  m.pageScan.cmdContinue_Click();
  EXPECT_TRUE(serverLogged(encodeDefinitionLine("quillon_tests.exe")));
}

TEST_F(DataServerFixture, TurningAnonymousDataOffAsksAndNoKeepsItOn) {
  ui::FrmMain& m = app.main();
  m.Form_Load();
  m.tabScanOptions.chkSendData.setValue(1);
  app.dialogs.shown.clear();
  // Nothing is stored while the question waits for its answer.
  std::string storedWhileAsked;
  app.dialogs.answer = [&](const ShownBox&) {
    storedWhileAsked = m.settings.read(keys::chkSendData);
    return kIdNo;
  };
  m.tabScanOptions.chkSendData.click();
  EXPECT_EQ(storedWhileAsked, "1");
  ASSERT_EQ(app.dialogs.shown.size(), 1u);
  EXPECT_EQ(app.dialogs.shown[0].title, "Really turn off anonymous data collection?");
  EXPECT_EQ(m.tabScanOptions.chkSendData.value(), 1);
  EXPECT_EQ(m.settings.read(keys::chkSendData), "1");
  app.dialogs.answer = [](const ShownBox&) { return kIdYes; };
  m.tabScanOptions.chkSendData.click();
  EXPECT_EQ(m.tabScanOptions.chkSendData.value(), 0);
  EXPECT_EQ(m.settings.read(keys::chkSendData), "0");
  app.dialogs.shown.clear();
  m.tabScanOptions.chkSendData.setValue(1);  // a change made by code asks nothing
  EXPECT_TRUE(app.dialogs.shown.empty());
}
