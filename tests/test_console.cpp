// The console's answers: nobody is there to click, so a question that would delete or change
// something is answered No unless the user passed --yes, and every message goes to standard
// error.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "system/settings.h"
#include "tests/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {
// What a console box printed, read back from a temporary file.
struct Printed {
  std::FILE* f = std::tmpfile();
  ~Printed() { std::fclose(f); }
  std::string text() {
    std::string s;
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;) s.push_back(char(c));
    return s;
  }
};
}  // namespace

TEST(ConsoleDialogs, AnswersWhatChangesNothingUnlessTold) {
  using win32::ConsoleDialogs;
  struct Case {
    unsigned flags;
    int withoutYes, withYes;
  };
  for (const Case& c : {Case{kMbOk | kMbIconInformation, kIdOk, kIdOk}, Case{kMbYesNo, kIdNo, kIdYes},
                        Case{kMbYesNo | kMbIconQuestion, kIdNo, kIdYes}, Case{kMbOkCancel, kIdCancel, kIdOk},
                        Case{kMbYesNoCancel, kIdCancel, kIdYes},
                        // Retrying unattended could go on for ever; Ignore may store a choice.
                        Case{kMbAbortRetryIgnore | kMbIconExclamation, kIdAbort, kIdAbort},
                        Case{kMbRetryCancel, kIdCancel, kIdCancel}}) {
    EXPECT_EQ(ConsoleDialogs::answer(c.flags, false), c.withoutYes) << c.flags;
    EXPECT_EQ(ConsoleDialogs::answer(c.flags, true), c.withYes) << c.flags;
  }

  Printed out;
  ConsoleDialogs console(false, out.f);
  EXPECT_EQ(console.messageBox("Nothing to see.", "Quillon", kMbOk | kMbIconInformation), kIdOk);
  EXPECT_EQ(console.messageBox("Really?", "Really Delete?", kMbYesNo), kIdNo);
  console.setAssumeYes(true);
  EXPECT_EQ(console.messageBox("Really?", "Really Delete?", kMbYesNo), kIdYes);
  EXPECT_EQ(out.text(),
            "Quillon: Nothing to see.\n"
            "Really Delete?: Really?\n  (answered No; --yes answers yes)\n"
            "Really Delete?: Really?\n  (answered Yes)\n");
}

TEST(ConsoleDialogs, AQuestionThatWouldChangeSomethingChangesNothingWithoutYes) {
  for (bool yes : {false, true}) {
    App app;
    const std::string planted = makeFolder(app.path("planted"));
    app.writeText("planted\\a.dll", "x");
    app.writeEmptyDefinitions();
    app.writeDefinitions("FileDefinition.dat", {"a.dll=Twin|" + planted + "|Adware"});
    Printed out;
    win32::ConsoleDialogs console(yes, out.f);
    PlatformParts parts = app.platform.parts();
    parts.dialogs = &console;
    Platform platform(parts);
    ui::FrmMain m(platform, app.host, app.path("quillon.exe"), Branding{app.product, "Test Company", "x", 1, 0});
    m.Form_Load();
    m.cmdScanNow_Click();
    ASSERT_EQ(m.lvwPicRemoveListOfSpywareFoundAndToBeRemoved.count(), 1);
    m.lvwPicRemoveListOfSpywareFoundAndToBeRemoved.setChecked(0, true);
    m.cmdExclude.click();
    EXPECT_NE(out.text().find("Really Exclude?: Are you sure you want to exclude"), std::string::npos);
    EXPECT_EQ(m.lvwPicRemoveListOfSpywareFoundAndToBeRemoved.count(), yes ? 0 : 1);
    EXPECT_EQ(app.readText("ENoSignature.txt").find("a.dll") != std::string::npos, yes);

    // A machine-wide write that is refused is asked about once, not retried, and the choice
    // never to be asked again is not stored.
    app.registry.failMachineWrites = true;
    app.registry.machineWriteAttempts = 0;
    Settings s(app.registry, console, app.product, "Test Company");
    EXPECT_FALSE(s.writeMachine("Settings", "FirstTime", "Yes"));
    EXPECT_EQ(app.registry.machineWriteAttempts, 1);
    EXPECT_EQ(s.read("Settings", "IgnorePermissionDeniedError", "0"), "0");
    EXPECT_NE(out.text().find("Permission Denied: "), std::string::npos);
  }
}

using CliAnswers = CliFolder;

TEST_F(CliAnswers, InformationGoesToStandardErrorAndOnlyKnownOptionsAreTaken) {
  // No definition files: the scan says so on standard error and cannot look.
  for (const char* args : {"scan", "--yes scan", "scan --yes", "scan --complete"}) {
    ProgramRun r = runProgram(cli, args);
    EXPECT_EQ(r.exitCode, 2) << args << "\n" << r.err;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_NE(r.err.find("Quillon: Definition files are missing or they have been corrupted. Please run Liveupdate."),
              std::string::npos)
        << args << "\n" << r.err;
    EXPECT_EQ(r.err.find("(answered"), std::string::npos) << r.err;  // an information box is no question
  }
  // A misspelt option is never taken for permission, nor ignored.
  for (const char* args : {"--Yes scan", "-y scan", "--yes", "--yes encode", "scan extra", "update --complete",
                           "--complete"}) {
    ProgramRun r = runProgram(cli, args);
    EXPECT_EQ(r.exitCode, 64) << args;
    EXPECT_NE(r.err.find("usage:"), std::string::npos) << args;
  }
}
