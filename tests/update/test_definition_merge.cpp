#include <gtest/gtest.h>

#include <functional>

#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/definition_store.h"
#include "tests/support/fakes.h"
#include "update/definition_merge.h"

using namespace quillon;
using namespace quillon::test;

namespace {

std::string enc(const std::string& s) { return encodeDefinitionLine(s); }

// A body as the server sends it: every field enciphered, "|" and "=" plain.
std::string sent(const std::string& plain) {
  std::string out;
  for (char c : plain) out += (c == '|' || c == '=') ? std::string(1, c) : enc(std::string(1, c));
  return out;
}
std::string add(const std::string& kind, const std::string& plain) { return enc(kind) + "|ADD[DEF]" + sent(plain); }
std::string del(const std::string& kind, const std::string& key) { return enc(kind) + "|DEL[DEF]" + enc(key); }
std::string join(const std::vector<std::string>& records) {
  std::string t;
  for (size_t i = 0; i < records.size(); ++i) t += (i ? "[BR]" : "") + records[i];
  return t;
}

struct RecordingStatus : MergeStatus {
  std::vector<std::string> shown;
  int yields = 0;
  void show(const std::string& text) override { shown.push_back(text); }
  void yield() override { ++yields; }
};

// The real file system, with replaceFile failing a given number of times, and staged files
// that may come out on disk other than written.
class FailingReplace : public FileSystem {
 public:
  explicit FailingReplace(FileSystem& real) : r_(real) {}
  int successesFirst = 0, failures = 0;
  int corruptStaged = 0;  // the next staged files (-1: all) are written with their first byte changed
  uint32_t attributes(const std::string& p) override { return r_.attributes(p); }
  std::vector<std::string> listFiles(const std::string& p) override { return r_.listFiles(p); }
  bool folderExists(const std::string& p) override { return r_.folderExists(p); }
  std::unique_ptr<InputFile> openRead(const std::string& p) override { return r_.openRead(p); }
  bool readAll(const std::string& p, std::string& o) override { return r_.readAll(p, o); }
  bool write(const std::string& p, const std::string& d, bool a) override { return r_.write(p, d, a); }
  bool deleteFile(const std::string& p) override { return r_.deleteFile(p); }
  bool rename(const std::string& f, const std::string& t) override { return r_.rename(f, t); }
  bool replaceFile(const std::string& f, const std::string& t) override {
    if (successesFirst > 0) {
      --successesFirst;
      return r_.replaceFile(f, t);
    }
    if (failures > 0) {
      --failures;
      return false;
    }
    return r_.replaceFile(f, t);
  }
  bool copyFile(const std::string& f, const std::string& t, bool x) override { return r_.copyFile(f, t, x); }
  std::unique_ptr<NewFile> createNew(const std::string& p) override {
    struct Corrupting : NewFile {
      std::unique_ptr<NewFile> real;
      bool write(const std::string& data) override {
        std::string changed = data;
        if (!changed.empty()) changed[0] ^= 1;
        return real->write(changed);
      }
      bool size(uint64_t& n) override { return real->size(n); }
      bool setAttributes(uint32_t a) override { return real->setAttributes(a); }
      bool moveTo(const std::string& to) override { return real->moveTo(to); }
      bool close() override { return real->close(); }
    };
    std::unique_ptr<NewFile> real = r_.createNew(p);
    if (!corruptStaged || !real) return real;
    if (corruptStaged > 0) --corruptStaged;
    auto c = std::make_unique<Corrupting>();
    c->real = std::move(real);
    return c;
  }
  bool copyFolderTree(const std::string& f, const std::string& t) override { return r_.copyFolderTree(f, t); }
  bool createFolder(const std::string& p) override { return r_.createFolder(p); }
  bool deleteFolderTree(const std::string& p) override { return r_.deleteFolderTree(p); }
  std::vector<FolderEntry> listFolder(const std::string& f) override { return r_.listFolder(f); }
  bool fileSize(const std::string& p, uint64_t& s) override { return r_.fileSize(p, s); }

 private:
  FileSystem& r_;
};

struct Merge : ::testing::Test {
  App app;
  RecordingStatus status;
  void SetUp() override { app.writeEmptyDefinitions(); }
  uint32_t merge(const std::string& text) { return mergeDefinitionUpdate(app.fs, app.signatures, app.folder, text, status); }
  // The deciphered lines of a definition file.
  std::vector<std::string> lines(const std::string& file) {
    std::vector<std::string> out;
    std::string text = app.readText(file);
    if (text.empty()) return out;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << file;
    for (const std::string& l : split(text.substr(0, text.size() - 2), "\r\n")) out.push_back(decodeDefinitionLine(l));
    return out;
  }
  std::vector<std::string> allFiles() {
    std::vector<std::string> out;
    for (const char* f : {kFileDefs, kExeDefs, kRegistryDefs, kCookieDefs, kDirectoryDefs}) out.push_back(app.readText(f));
    return out;
  }
  bool scratchLeft() { return app.fs.attributes(app.path(kMergeScratch)) != kNoSuchPath; }
};

using V = std::vector<std::string>;

TEST_F(Merge, AddsAppendLinesAndCountThemAnExecutableTwice) {
  app.writeDefinitions(kFileDefs, {"old.dll=Old|[windir]"});
  app.writeText(kCookieDefs, enc("old.example"));  // last line without its line end
  uint32_t n = merge(join({add("FILE", "a.dll=A|[windir]\\x|Adware"), add("DLL", "b.dll=B"),
                           add("EXE", "bad.exe=Bad|[progfil]"), add("COOK", "ads.example=anything"),
                           add("DIR", "lbl=D|[appdata]\\d")}) + "[BR]");
  EXPECT_EQ(n, 6u);
  EXPECT_EQ(lines(kFileDefs), (V{"old.dll=Old|[windir]", "a.dll=A|[windir]\\x|Adware", "b.dll=B", "bad.exe=Bad|[progfil]"}));
  EXPECT_EQ(lines(kExeDefs), (V{"bad.exe=Bad|[progfil]"}));
  EXPECT_EQ(lines(kCookieDefs), (V{"old.example", "ads.example"}));
  EXPECT_EQ(lines(kDirectoryDefs), (V{"lbl=D|[appdata]\\d"}));
  EXPECT_TRUE(lines(kRegistryDefs).empty());
  EXPECT_FALSE(scratchLeft());
  EXPECT_EQ(status.shown, V(5, kApplyingText));
  EXPECT_EQ(status.yields, 5);
  // A lone LF is part of a line, not its end: the first added line must not join it.
  app.writeText(kRegistryDefs, enc("2^a^=T|x") + "\n");
  std::string reg = enc("2^b^") + "=" + enc("U") + "|" + enc("2^b") + "|" + enc("y");
  EXPECT_EQ(merge(enc("REG") + "|ADD[DEF]" + reg), 1u);
  EXPECT_EQ(app.readText(kRegistryDefs), enc("2^a^=T|x") + "\n\r\n" + enc("2^b^=U|y") + "\r\n");
}

TEST_F(Merge, RegistryLinesAreRebuiltWithoutTheLabel) {
  // label "=" threat "|" key part "|" type text
  std::string body = enc("2^Software\\Bad^") + "=" + enc("Bad Toolbar") + "|" + enc("2^Software\\Bad") + "|" + enc("Toolbar");
  EXPECT_EQ(merge(enc("REG") + "|ADD[DEF]" + body), 1u);
  EXPECT_EQ(lines(kRegistryDefs), (V{"2^Software\\Bad^=Bad Toolbar|Toolbar"}));
}

TEST_F(Merge, DeletionsMatchKeysInAnyCaseAndLaterAddsWithdrawThem) {
  // A raw line of one space is a placeholder the removal pass drops; an empty line stays.
  app.writeText(kFileDefs, enc("Keep.dll=K") + "\r\n" + enc("GONE.DLL=G|x") + "\r\n \r\n" + enc("again.dll=old") + "\r\n\r\n");
  app.writeDefinitions(kCookieDefs, {"a.example", "b.example"});
  uint32_t n = merge(join({del("FILE", "gone.dll"),
                           del("DLL", "again.dll"), add("FILE", "again.dll=new"),  // withdrawn
                           add("FILE", "brief.dll=B"), del("FILE", "brief.dll"),     // added, then removed
                           del("COOK", "B.EXAMPLE")}));
  // Two lines added to FileDefinition.dat and two files through a removal pass.
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(lines(kFileDefs), (V{"Keep.dll=K", "again.dll=old", "", "again.dll=new"}));
  EXPECT_EQ(lines(kCookieDefs), (V{"a.example"}));
  EXPECT_FALSE(scratchLeft());
}

TEST_F(Merge, RemovalPassReportsEveryHundredthLineAcrossFiles) {
  V file, cookies;
  for (int i = 0; i < 150; ++i) file.push_back("f" + std::to_string(i) + ".dll=T");
  for (int i = 0; i < 100; ++i) cookies.push_back("c" + std::to_string(i) + ".example");
  app.writeDefinitions(kFileDefs, file);
  app.writeDefinitions(kCookieDefs, cookies);
  EXPECT_EQ(merge(join({del("FILE", "f7.dll"), del("COOK", "c0.example")})), 2u);
  V progress;
  for (const std::string& s : status.shown)
    if (s != kApplyingText) progress.push_back(s);
  // Lines 100 of the first file, then the 200th line of the merge: the cookie file's 50th.
  EXPECT_EQ(progress, (V{std::string(kRemovingText) + "100", std::string(kRemovingText) + "50"}));
  EXPECT_EQ(lines(kFileDefs).size(), 149u);
  EXPECT_EQ(lines(kCookieDefs).size(), 99u);
}

TEST_F(Merge, MalformedUpdatesChangeNothing) {
  app.writeDefinitions(kFileDefs, {"x.dll=X"});
  const V before = allFiles();
  const V malformed = {
      add("FILE", "a.dll=A") + "[BR]" + enc("FILE") + "|ADDa.dll",    // no [DEF]
      add("FILE", "a.dll=A") + "[BR]" + enc("FILE") + "[DEF]a.dll",   // no action
      add("FILE", "a.dll=A") + "[BR]" + enc("REG") + "|ADD[DEF]" + enc("l") + "=" + enc("t") + "|" + enc("k"),
      add("FILE", "a.dll=A") + "[BR]" + enc("FILE") + "|ADD[DEF]" + "a\rb",  // would break the line
      del("FILE", "x.dll") + "[BR]" + enc("COOK") + "|ADD[DEF]" + "\n",
  };
  for (const std::string& text : malformed) {
    std::string problem;
    std::vector<MergeRecord> records;
    EXPECT_FALSE(parseDefinitionUpdate(text, records, &problem));
    EXPECT_FALSE(problem.empty());
    EXPECT_EQ(merge(text), 0u);
    EXPECT_EQ(allFiles(), before);
    EXPECT_FALSE(scratchLeft());
  }
}

TEST_F(Merge, EmptyRecordsUnknownKindsAndOtherActionsAreSkipped) {
  std::string text = "  [br]" + add("FILE", "a.dll=A") + " [Br] " + enc("file") + "|ADD[DEF]" + sent("b.dll=B") +
                     "[BR]" + enc("NOPE") + "|garbage" + "[BR]" + enc("FILE") + "|MOVE[DEF]" + sent("c.dll=C") +
                     "[BR]" + enc("FILE") + "|add[DEF]" + sent("d.dll=D") + "[BR][BR]";
  EXPECT_EQ(merge(text), 1u);
  EXPECT_EQ(lines(kFileDefs), (V{"a.dll=A"}));
  // An update with nothing in it changes nothing, and makes missing files (empty).
  app.fs.deleteFile(app.path(kDirectoryDefs));
  EXPECT_EQ(merge(""), 0u);
  EXPECT_EQ(lines(kFileDefs), (V{"a.dll=A"}));
  EXPECT_NE(app.fs.attributes(app.path(kDirectoryDefs)), kNoSuchPath);
}

// The first staged file comes out unlike what was written, and the journal's first put in place
// fails: each is tried once more, from scratch.
TEST_F(Merge, AFailedStepIsRetriedWithoutWritingAnythingTwice) {
  FailingReplace flaky(app.fs);
  flaky.corruptStaged = 1;
  flaky.failures = 1;
  const std::string text = join({add("EXE", "e.exe=E|f"), add("COOK", "c.example")});
  EXPECT_EQ(mergeDefinitionUpdate(flaky, app.signatures, app.folder, text, status), 3u);
  EXPECT_EQ(lines(kFileDefs), (V{"e.exe=E|f"}));
  EXPECT_EQ(lines(kExeDefs), (V{"e.exe=E|f"}));
  EXPECT_EQ(lines(kCookieDefs), (V{"c.example"}));
  EXPECT_FALSE(scratchLeft());
}

// The files and the date change together: an update whose files cannot all be put in place
// stays recorded, whole, and the next start completes it; scratch nobody recorded is dropped.
TEST_F(Merge, AnUpdateThatCannotBePutInPlaceIsCompletedLaterAndNeverHalfApplied) {
  FailingReplace flaky(app.fs);
  flaky.successesFirst = 2;  // the journal and FileDefinition.dat
  flaky.failures = 2;        // ExeDefinition.dat, tried twice
  app.writeText(kDateFile, "1/1/2029 12:00:00 AM\r\n");
  const std::string text = join({add("EXE", "e.exe=E|f"), add("COOK", "c.example")});
  const MergeOutcome o = applyDefinitionUpdate(flaky, app.signatures, app.folder, {text, "1/1/2030 12:00:00 AM", false, {}}, status);
  EXPECT_TRUE(o.pending);
  EXPECT_FALSE(o.landed);
  EXPECT_EQ(o.count, 3u);
  EXPECT_EQ(lines(kFileDefs), (V{"e.exe=E|f"}));
  EXPECT_TRUE(lines(kExeDefs).empty());
  EXPECT_EQ(app.readText(kDateFile), "1/1/2029 12:00:00 AM\r\n");
  ASSERT_TRUE(completeInterruptedUpdate(app.fs, app.folder));
  EXPECT_EQ(lines(kFileDefs), (V{"e.exe=E|f"}));
  EXPECT_EQ(lines(kExeDefs), (V{"e.exe=E|f"}));
  EXPECT_EQ(lines(kCookieDefs), (V{"c.example"}));
  EXPECT_EQ(app.readText(kDateFile), "1/1/2030 12:00:00 AM\r\n");
  EXPECT_EQ(app.fs.attributes(app.path(kUpdateJournal)), kNoSuchPath);
  // Staged files without a journal were never meant to land; a journal this program did not
  // write is no intent either.
  const V files = allFiles();
  app.writeText(std::string(kCookieDefs) + kStagedSuffix, enc("stray.example") + "\r\n");
  app.writeText(std::string(kDateFile) + kStagedSuffix, "1/1/2031 12:00:00 AM\r\n");
  ASSERT_TRUE(completeInterruptedUpdate(app.fs, app.folder));
  app.writeText(kUpdateJournal, "..\\..\\elsewhere.dat\r\nend\r\n");
  app.writeText(std::string(kCookieDefs) + kStagedSuffix, enc("stray.example") + "\r\n");
  ASSERT_TRUE(completeInterruptedUpdate(app.fs, app.folder));
  EXPECT_EQ(allFiles(), files);
  EXPECT_EQ(app.readText(kDateFile), "1/1/2030 12:00:00 AM\r\n");
  for (const char* f : {kCookieDefs, kDateFile, kUpdateJournal})
    EXPECT_EQ(app.fs.attributes(stagedPath(app.folder, f)), kNoSuchPath) << f;
  EXPECT_EQ(app.fs.attributes(app.path(kUpdateJournal)), kNoSuchPath);
  // An update carrying a date must change something.
  EXPECT_FALSE(
      applyDefinitionUpdate(app.fs, app.signatures, app.folder, {enc("FILE") + "|MOVE[DEF]x", "1/1/2031 12:00:00 AM", false, {}}, status)
          .landed);
  EXPECT_EQ(app.readText(kDateFile), "1/1/2030 12:00:00 AM\r\n");
}


TEST_F(Merge, AnAddOfALineHeldAlreadyAddsNothingAndAMalformedOneIsSkipped) {
  // A registry threat holding "=" is written as it comes, and so would decipher with a NUL.
  const std::string malformed = enc("REG") + "|ADD[DEF]" + enc("l") + "=" + enc("T") + "=" + enc("x") + "|" + enc("1^K") + "|" + enc("t");
  struct Case {
    const char* what;
    V before;
    std::string text;
    V files, exes;
    uint32_t count;
  } const cases[] = {
      {"held by the file, and twice in the update", {"a.dll=A"},
       join({add("FILE", "a.dll=A"), add("FILE", "b.dll=B"), add("DLL", "b.dll=B")}), {"a.dll=A", "b.dll=B"}, {}, 1},
      {"an executable FileDefinition holds", {"x.exe=X|f"}, add("EXE", "x.exe=X|f"), {"x.exe=X|f"}, {"x.exe=X|f"}, 1},
      {"held, then deleted", {"a.dll=A", "c.dll=C"}, join({add("FILE", "a.dll=A"), del("FILE", "a.dll")}), {"c.dll=C"}, {}, 1},
      {"a line that would decipher with a NUL", {}, join({malformed, add("FILE", "b.dll=B")}), {"b.dll=B"}, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    app.writeEmptyDefinitions();
    app.writeDefinitions(kFileDefs, c.before);
    EXPECT_EQ(merge(c.text), c.count);
    EXPECT_EQ(lines(kFileDefs), c.files);
    EXPECT_EQ(lines(kExeDefs), c.exes);
    EXPECT_TRUE(lines(kRegistryDefs).empty());
  }
}

// The five files are put in place only when they are exactly the ones their publisher signed;
// a whole release makes them from nothing, whatever they held.
TEST_F(Merge, AResultIsPutInPlaceOnlyWhenItIsTheSignedOneAndAWholeReleaseReplacesTheFiles) {
  const V want = {"keep.dll=K", "new.dll=N"};
  std::string wantBytes;
  for (const std::string& l : want) wantBytes += enc(l) + "\r\n";
  std::vector<std::string> signedFiles, otherFiles;
  for (const char* f : kDefinitionFiles) signedFiles.push_back(app.signatures.sha256(f == std::string(kFileDefs) ? wantBytes : ""));
  otherFiles = signedFiles;
  otherFiles[2] = app.signatures.sha256("x");
  const std::string update = join({del("FILE", "old.dll"), add("FILE", "new.dll=N")});
  const std::string whole = join({add("FILE", "keep.dll=K"), add("FILE", "new.dll=N")});
  struct Case {
    const char* what;
    V before;
    std::string text;
    bool whole, signedOnes, lands;
  } const cases[] = {
      {"the update gives the signed files", {"old.dll=O", "keep.dll=K"}, update, false, true, true},
      {"a set that drifted from its release", {"old.dll=O", "keep.dll=K", "drift.dll=D"}, update, false, true, false},
      {"other files signed", {"old.dll=O", "keep.dll=K"}, update, false, false, false},
      {"a whole release, whatever the files held", {"keep.dll=K", "keep.dll=K", "drift.dll=D"}, whole, true, true, true},
      {"a whole release other than signed", {"keep.dll=K"}, whole, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    app.writeEmptyDefinitions();
    app.writeDefinitions(kFileDefs, c.before);
    app.writeText(kDateFile, "1/1/2029 12:00:00 AM\r\n");
    const V before = allFiles();
    DefinitionUpdate u{c.text, "1/1/2030 12:00:00 AM", c.whole, c.signedOnes ? signedFiles : otherFiles};
    const MergeOutcome o = applyDefinitionUpdate(app.fs, app.signatures, app.folder, u, status);
    EXPECT_EQ(o.landed, c.lands);
    EXPECT_EQ(o.differs, !c.lands);
    EXPECT_EQ(allFiles(), (c.lands ? V{wantBytes, "", "", "", ""} : before));
    EXPECT_EQ(app.readText(kDateFile), c.lands ? "1/1/2030 12:00:00 AM\r\n" : "1/1/2029 12:00:00 AM\r\n");
    for (const char* f : {kFileDefs, kRegistryDefs, kDateFile, kUpdateJournal})
      EXPECT_EQ(app.fs.attributes(stagedPath(app.folder, f)), kNoSuchPath) << f;
  }
}

// An update holds the definition set's lock from start to commit, and writes each staged file
// through the one handle it made it with. Another program starting meanwhile can neither take
// the set nor delete what is staged (before, it discarded the staged file as scratch, the next
// piece made it anew, and the update put in place a file holding only its tail). A staged file
// that is not on disk what was written is never recorded: the update changes nothing.
TEST_F(Merge, AStartDuringAnUpdateLeavesItsFilesAloneAndAStagedFileMustBeWhatWasWritten) {
  V many;
  for (int i = 0; i < 20000; ++i) many.push_back("f" + std::to_string(i) + ".dll=Many.Threat|[windir]x");
  app.writeDefinitions(kFileDefs, many);
  V left = many;
  left.erase(left.begin() + 7);
  struct Hooked : MergeStatus {
    std::function<void()> onYield;
    std::string shown;
    void show(const std::string& text) override { shown = text; }
    void yield() override { onYield(); }
  } hooked;
  DefinitionStore defs(app.fs, app.folder);
  StoreLockResult taken = StoreLockResult::Failed;
  {
    auto hold = defs.lock(true, 0, nullptr, taken);  // as Live Update holds it
    ASSERT_EQ(taken, StoreLockResult::Taken);
    int starts = 0, refused = 0, deleted = 0;
    hooked.onYield = [&] {
      // While the removal pass writes the staged file.
      if (hooked.shown.rfind(kRemovingText, 0) != 0) return;
      ++starts;
      DefinitionStore other(app.fs, app.folder);
      if (!prepareDefinitions(app.fs, app.folder, other)) ++refused;
      if (app.fs.deleteFile(stagedPath(app.folder, kFileDefs))) ++deleted;
    };
    const MergeOutcome o =
        applyDefinitionUpdate(app.fs, app.signatures, app.folder, {del("FILE", "f7.dll"), "1/1/2030 12:00:00 AM", false, {}}, hooked);
    EXPECT_TRUE(o.landed) << o.problem;
    EXPECT_GT(starts, 10);
    EXPECT_EQ(refused, starts);
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(lines(kFileDefs), left);
  }
  // Let go, the next start takes the set at once.
  EXPECT_TRUE(prepareDefinitions(app.fs, app.folder, defs));

  FailingReplace corrupting(app.fs);
  corrupting.corruptStaged = -1;
  const V before = allFiles();
  hooked.onYield = [] {};
  const MergeOutcome o =
      applyDefinitionUpdate(corrupting, app.signatures, app.folder, {add("FILE", "new.dll=N"), "1/1/2031 12:00:00 AM", false, {}}, hooked);
  EXPECT_FALSE(o.landed || o.pending);
  EXPECT_EQ(o.problem, "FileDefinition.dat could not be written");
  EXPECT_EQ(allFiles(), before);
  EXPECT_EQ(app.readText(kDateFile), "1/1/2030 12:00:00 AM\r\n");
  EXPECT_EQ(app.fs.attributes(stagedPath(app.folder, kFileDefs)), kNoSuchPath);
}

}  // namespace
