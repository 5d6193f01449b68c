#include <gtest/gtest.h>
#include <windows.h>

#include "common/text.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

TEST(Exclusions, MatchingRules) {
  App app;
  app.writeText("ENoSignature.txt",
                "C:\\Apps\\Tool\\bad.dll\r\n   \r\n  spaced  \r\nleft|right\r\nHKEY_CURRENT_USER\\Software\\X\r\n");
  ExclusionList list(app.fs, app.pump, app.path("ENoSignature.txt"));
  EXPECT_FALSE(list.isFileExcluded("C:\\Apps\\Tool\\bad.dll"));  // not loaded yet
  list.load();
  EXPECT_EQ(list.text(), "C:\\Apps\\Tool\\bad.dll|  spaced  |left|right|HKEY_CURRENT_USER\\Software\\X|");
  EXPECT_TRUE(list.isFileExcluded("c:\\apps\\tool\\BAD.DLL"));
  EXPECT_FALSE(list.isFileExcluded("C:\\Apps\\Tool\\bad.dll.bak"));  // a prefix is not enough for files
  EXPECT_FALSE(list.isFileExcluded("C:\\Apps\\Tool"));
  // Folders: any part of an entry excludes the folder.
  EXPECT_TRUE(list.isFolderExcluded("C:\\Apps\\Tool"));
  EXPECT_TRUE(list.isFolderExcluded("c:\\apps"));
  EXPECT_FALSE(list.isFolderExcluded("C:\\Other"));
  // Entries are not trimmed when read: only items with the same spaces match.
  EXPECT_TRUE(list.isFileExcluded("  spaced  "));
  EXPECT_FALSE(list.isFileExcluded("spaced"));
  // "|" inside an entry makes two entries.
  EXPECT_TRUE(list.isFileExcluded("left"));
  EXPECT_TRUE(list.isFileExcluded("right"));
  EXPECT_FALSE(list.isFileExcluded(""));
}

TEST(Exclusions, AddAppendsTrimmedLinesAndReloads) {
  App app;
  ExclusionList list(app.fs, app.pump, app.path("ENoSignature.txt"));
  list.load();
  EXPECT_EQ(list.text(), "");
  list.add("  C:\\x\\y.exe ");
  list.add("Threat");
  EXPECT_EQ(app.readText("ENoSignature.txt"), "C:\\x\\y.exe\r\nThreat\r\n");
  EXPECT_TRUE(list.isFileExcluded("C:\\X\\Y.EXE"));
  EXPECT_TRUE(list.isFileExcluded("threat"));
}

TEST(Exclusions, AddStartsANewLineAfterAHandEditedLastLine) {
  App app;
  ExclusionList list(app.fs, app.pump, app.path("ENoSignature.txt"));
  // A lone LF belongs to its line; only CR LF or a lone CR ends one, and an entry starting with
  // LF must not complete a CR into a pair.
  struct Case {
    const char *before, *after, *kept;
  } cases[] = {
      {"C:\\a.exe", "C:\\a.exe\r\nThreat\r\n", "C:\\a.exe"},
      {"C:\\a.exe\n", "C:\\a.exe\n\r\nThreat\r\n", "C:\\a.exe\n"},
      {"C:\\a.exe\r", "C:\\a.exe\r\r\nThreat\r\n", "C:\\a.exe"},
      {"C:\\a.exe\r\n", "C:\\a.exe\r\nThreat\r\n", "C:\\a.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    app.writeText("ENoSignature.txt", c.before);
    list.add("Threat");
    EXPECT_EQ(app.readText("ENoSignature.txt"), c.after);
    EXPECT_TRUE(list.isFileExcluded("threat"));
    EXPECT_TRUE(list.isFileExcluded(c.kept));
  }
  app.writeText("ENoSignature.txt", "C:\\a.exe\r");
  list.add("\nLF first");
  EXPECT_TRUE(list.isFileExcluded("\nLF first"));
  EXPECT_TRUE(list.isFileExcluded("C:\\a.exe"));
}

// An entry written by hand in another spelling of a place still excludes the finding, which is
// always shown in its one canonical spelling.
TEST(Exclusions, AnotherSpellingOfTheSamePlaceExcludesIt) {
  App app;
  const std::string folder = makeFolder(app.path("Long Folder Name"));
  app.writeText("Long Folder Name\\bad.dll", "x");
  const std::string canonical = app.fs.canonicalPath(folder + "\\bad.dll");
  char shortName[MAX_PATH] = {0};
  GetShortPathNameA((folder + "\\bad.dll").c_str(), shortName, MAX_PATH);
  ASSERT_NE(std::string(shortName).find('~'), std::string::npos) << shortName;
  for (const std::string& entry : {replaceAll(folder, "\\", "/") + "/bad.dll", folder + "\\.\\bad.dll",
                                   folder + "\\..\\Long Folder Name\\bad.dll", std::string(shortName)}) {
    SCOPED_TRACE(entry);
    app.writeText("ENoSignature.txt", entry + "\r\n");
    ExclusionList list(app.fs, app.pump, app.path("ENoSignature.txt"));
    list.load();
    EXPECT_EQ(list.text(), entry + "|");  // the list as written is kept
    EXPECT_TRUE(list.isFileExcluded(canonical));
    EXPECT_TRUE(list.isFolderExcluded(folder));
  }
}
