#include <gtest/gtest.h>
#include <windows.h>

#include <map>

#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/definition_store.h"
#include "definitions/folder_tokens.h"
#include "definitions/grammar.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

// No byte comes back as anything but itself: what the encoder takes deciphers to itself, and
// it refuses 0xFF (it would come back as NUL), NUL and the two bytes that encipher to CR and LF.
// A stored line that deciphers with a NUL anyway is skipped whole by every reader, never cut:
// the folder, file or key the cut line would name is no finding.
TEST(Cipher, EveryByteComesBackAsItselfOrIsRefusedAndAMalformedLineIsSkipped) {
  for (int b = 0; b < 256; ++b) {
    const std::string plain(1, char(b)), enc = encodeDefinitionLine(plain);
    const bool refused = unencodableByte(plain) != std::string::npos;
    EXPECT_EQ(refused, b == 0 || b == 0xFF || enc == "\r" || enc == "\n") << b;
    EXPECT_EQ(unstorableByteReason(static_cast<unsigned char>(b)) != nullptr, refused) << b;
    std::string back = "unset";
    EXPECT_EQ(decodeDefinition(enc, back), b != 0 && b != 0xFF) << b;
    if (!refused) EXPECT_EQ(back, plain) << b;
    if (b >= 32 && b <= 126) EXPECT_FALSE(refused) << b;  // printable text always goes
  }
  EXPECT_EQ(unencodableByte("C:\\a\\b\xFF c"), 6u);

  App app;
  const std::string victim = makeFolder(app.path("victim"));
  makeFolder(victim + "\\Mozilla");
  app.writeText("victim\\cut.dll", "x");
  app.registry.setValue(kHkeyCurrentUser, "Software\\QuillonCut", "v", RegValue{kRegSz, std::string("x\0", 2)});
  app.writeEmptyDefinitions();
  app.writeDefinitions(kDirectoryDefs, {"Toolbar=Cut.Folder|" + victim + "\\Mozilla\\\xFF Toolbar"});
  app.writeDefinitions(kFileDefs, {"cut.dll\xFFx=Cut.File|" + victim});
  app.writeDefinitions(kRegistryDefs, {"1^Software\\QuillonCut\xFFx^=Cut.Key"});
  Session& m = app.session();
  scan(m);
  app.registry.deleteTree(kHkeyCurrentUser, "Software\\QuillonCut");
  EXPECT_EQ(m.results.removalCount(), 0);
  EXPECT_EQ(m.counters.filesInspected, 0);  // skipped, not looked at
}

TEST(Grammar, FileAndDirectoryLines) {
  PathDefinition d = parsePathLine(" a.dll =Threat Name|[windir]\\x|Adware|extra");
  EXPECT_EQ(trim(d.head), "a.dll");
  EXPECT_EQ(d.threat, "Threat Name");
  EXPECT_EQ(d.folder, "[windir]\\x");
  EXPECT_EQ(d.type, "Adware");
  d = parsePathLine("b.dll=T|folder");
  EXPECT_TRUE(d.hasFolder);
  EXPECT_EQ(d.type, "");
  d = parsePathLine("c.dll=T");
  EXPECT_FALSE(d.hasFolder);
  d = parsePathLine("noequals|f");
  EXPECT_EQ(d.threat, "");
  EXPECT_EQ(d.head, "noequals");
}

TEST(Grammar, ExecutableLines) {
  ExeDefinition e = parseExeLine("bad.exe=Bad|[windir]");
  EXPECT_TRUE(e.valid);
  EXPECT_EQ(e.name, "bad.exe");
  EXPECT_EQ(e.folder, "[windir]");
  e = parseExeLine("bad.exe=C:\\only\\folder");
  EXPECT_EQ(e.folder, "C:\\only\\folder");
  EXPECT_FALSE(parseExeLine("no separator").valid);
}

TEST(Grammar, RegistryLinesSplitAtTheLastEquals) {
  RegistryDefinition r = parseRegistryLine("2^Software\\a=b^val=ue= Threat |Hijacker");
  ASSERT_TRUE(r.valid);
  EXPECT_EQ(r.keyPath, "Software\\a=b");
  EXPECT_EQ(r.valueName, "val=ue");
  EXPECT_EQ(r.threat, "Threat ");
  EXPECT_EQ(r.type, "Hijacker");
  uint32_t h;
  std::string name;
  EXPECT_TRUE(registryRoot("4", h, name));
  EXPECT_EQ(h, 0x80000005u);
  EXPECT_EQ(name, "HKEY_CURRENT_CONFIG");
  EXPECT_TRUE(registryRoot("1", h, name));
  EXPECT_EQ(name, "HKEY_CURRENT_USER");
  // A root is one digit, never another spelling of a number.
  for (const char* bad : {"7", "HKLM", "0x1", "1.0", "1e0", " +1 ", " 1", "01", "1e308", "nan", "inf", "-0", "6", ""}) {
    EXPECT_FALSE(registryRoot(bad, h, name)) << bad;
    EXPECT_EQ(name, "") << bad;
  }
  EXPECT_FALSE(parseRegistryLine("1^Software\\x^").valid);
}

namespace {
class CountingShell : public Shell {
 public:
  std::map<int, std::string> folders{{0x24, "C:\\windows"}, {0x19, "C:\\users\\Public\\Desktop"},
                                     {0x10, "C:\\users\\me\\Desktop"}, {0x0B, "C:\\users\\me\\Start Menu"},
                                     {0x16, "C:\\ProgramData\\START MENU"}};
  int asked = 0;
  std::string specialFolder(int csidl) override {
    ++asked;
    auto it = folders.find(csidl);
    return it == folders.end() ? "" : it->second;
  }
  std::string programsFolderFromIdList() override { return "D:\\Programs"; }
};
}  // namespace

TEST(FolderTokens, ExpandInOrderAndCaseRules) {
  CountingShell shell;
  FolderTokens tokens(shell);
  EXPECT_EQ(shell.asked, 0);  // nothing is asked before a token needs it
  tokens.expand("[windir]");
  int asked = shell.asked;
  EXPECT_EQ(collapseBackslashes(tokens.expand("[WINDIR]\\system32")), "C:\\windows\\system32");
  EXPECT_EQ(tokens.expand("[desktop]"), "C:\\users\\Public\\Desktop\\");
  EXPECT_EQ(tokens.expand("[ComDesk]"), "C:\\users\\me\\Desktop\\");
  EXPECT_EQ(tokens.expand("[user]x"), "C:\\users\\me\\x");
  EXPECT_EQ(tokens.expand("[alluser]"), "C:\\ProgramData\\");
  EXPECT_EQ(tokens.expand("[USER]"), "[USER]");  // only the lower-case form is a token
  EXPECT_EQ(tokens.expand("[fonts]a"), "a");     // unknown folder expands to nothing
  EXPECT_EQ(tokens.driveRoot(), "D:\\");
  for (int i = 0; i < 1000; ++i) tokens.expand("[windir][appdata]");
  EXPECT_EQ(shell.asked, asked);  // the shell is asked when the expander is made, not per line
}

// A special folder may itself hold a token's text: only the tokens after its own are replaced in
// it, as when every row was replaced in turn over the whole text.
TEST(FolderTokens, AFolderHoldingTokenTextIsExpandedOnlyByLaterRows) {
  CountingShell shell;
  shell.folders = {{0x1D, "S"}, {0x1A, "C:\\a[FONTS]b[startsp]"}, {0x14, "F"},
                   {0x0B, "C:\\u[alluser]\\Start Menu"}, {0x16, "P\\Start Menu"}};
  FolderTokens tokens(shell);
  const std::pair<const char*, const char*> table[] = {
      {"[appdata]x", "C:\\aF\\b[startsp]\\x"},
      {"[startsp][APPDATA]", "S\\C:\\aF\\b[startsp]\\"},
      {"[[fonts]]", "[F\\]"},
      {"[user][fonts]", "C:\\uP\\\\F\\"},
      {"[Fonts][user][alluser][startsp", "F\\C:\\uP\\\\P\\[startsp"},
      {"[windir][comdocs]", ""},
  };
  for (const auto& [in, out] : table) EXPECT_EQ(tokens.expand(in), out) << in;
}

TEST(FolderTokens, RealShellUnderWine) {
  win32::Win32Shell shell;
  FolderTokens tokens(shell);
  char sys[MAX_PATH];
  GetSystemDirectoryA(sys, MAX_PATH);
  EXPECT_TRUE(iequals(collapseBackslashes(tokens.expand("[windir]\\system32")), sys));
  EXPECT_EQ(tokens.driveRoot().size(), 3u);
  EXPECT_EQ(tokens.driveRoot().substr(1), ":\\");
}

TEST(DefinitionStore, FileExistsSeesOnlyPlainFilesByExactName) {
  App app;
  app.writeText("plain.txt", "x");
  app.writeText("hidden.txt", "x");
  SetFileAttributesA(app.path("hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  makeFolder(app.path("sub"));
  EXPECT_TRUE(fileExists(app.fs, app.path("PLAIN.TXT")));
  EXPECT_FALSE(fileExists(app.fs, app.path("hidden.txt")));
  EXPECT_FALSE(fileExists(app.fs, app.path("sub")));
  EXPECT_FALSE(fileExists(app.fs, app.path("*.txt")));
  EXPECT_FALSE(fileExists(app.fs, app.path("missing.txt")));
}

TEST(DefinitionStore, InstallCheckCountAndDate) {
  App app;
  DefinitionStore defs(app.fs, app.folder);
  EXPECT_EQ(defs.readDate(), "3/16/2006 12:00:00 AM");
  app.writeText("FileDefinition.dat", "old\r\n");
  app.writeText("DLFileDefinition.dat", "new1\r\n\r\nnew3\r\n\r\n");
  app.writeText("DLExeDefinition.dat", "e\r");
  defs.installDownloaded();
  EXPECT_EQ(app.readText("FileDefinition.dat"), "new1\r\n\r\nnew3\r\n\r\n");
  EXPECT_FALSE(fileExists(app.fs, app.path("DLFileDefinition.dat")));
  app.writeText("DirectoryDefinition.dat", "d1\r\nd2");  // a last line without a line end counts
  DefinitionCounts c = defs.count();
  EXPECT_EQ(c.file, 4 + 2);  // blank lines count
  EXPECT_EQ(c.exe, 1);
  EXPECT_EQ(c.total(), 7);

  defs.writeDate("12/1/2026 10:00:00 AM");
  EXPECT_EQ(defs.readDate(), "12/1/2026 10:00:00 AM");
  // BlockedCookies.dat and RegistryDefinition.dat are missing: the check discards them all.
  EXPECT_FALSE(defs.check());
  for (const char* f : {"FileDefinition.dat", "ExeDefinition.dat", "DirectoryDefinition.dat", "date.dat"})
    EXPECT_FALSE(fileExists(app.fs, app.path(f))) << f;
  EXPECT_EQ(defs.readDate(), "3/16/2006 12:00:00 AM");
  app.writeEmptyDefinitions();
  EXPECT_TRUE(defs.check());
}
