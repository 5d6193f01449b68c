#include <gtest/gtest.h>
#include <windows.h>

#include <random>

#include "common/text.h"
#include "scan/folder_memory.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {

// The real file system, except that a name holding "lnk" is a link (a reparse point), whether
// probed or listed; and the probes are counted.
class MarkedLinks : public win32::Win32FileSystem {
 public:
  int probes = 0;
  static uint32_t mark(const std::string& name, uint32_t a) {
    return a != kNoSuchPath && toLower(name).find("lnk") != std::string::npos ? a | kAttrLink : a;
  }
  uint32_t attributes(const std::string& path) override {
    ++probes;
    return mark(fileNameFromPath(path), Win32FileSystem::attributes(path));
  }
  bool folderExists(const std::string& path) override {
    ++probes;
    return Win32FileSystem::folderExists(path);
  }
  FolderListing listFolderNames(const std::string& folder, std::vector<FolderEntry>& entries, size_t most,
                                Pump* pump) override {
    const FolderListing r = Win32FileSystem::listFolderNames(folder, entries, most, pump);
    for (FolderEntry& e : entries) e.attributes = mark(e.name, e.attributes);
    return r;
  }
};

const std::string kKeys = "Software\\QuillonTestFolderMemory";

// A random tree of files, folders and keys with awkward names, and definition lines that name
// them, their other spellings and what is not there, several lines to a folder or key.
struct Planted {
  std::vector<std::string> fileLines, dirLines, registryLines;
};

Planted plant(App& app, unsigned seed) {
  std::mt19937 rng(seed);
  auto pick = [&](auto& v) -> const auto& { return v[rng() % v.size()]; };
  auto recase = [&](std::string s) {
    for (char& c : s)
      if (rng() % 3 == 0) c = char(std::isupper(static_cast<unsigned char>(c)) ? std::tolower(c) : std::toupper(c));
    return s;
  };
  const std::string root = makeFolder(app.path("tree" + std::to_string(seed)));
  std::vector<std::string> folders = {root}, names = {"a.dll", "Mixed.DLL", "long file name.dll", "lnk.dll",
                                                      "hid.dll", "sys.dll", "plain.exe", "x"};
  for (const char* v : {"Vendor", "Other Vendor"})
    for (const char* p : {"App", "long product folder", "lnkdir", "hidden"}) folders.push_back(makeFolder(root + "\\" + v + "\\" + p));
  SetFileAttributesA((root + "\\Vendor\\hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
  std::vector<std::string> spellings = folders;
  for (const std::string& f : folders) {
    for (const std::string& n : names)
      if (rng() % 3) {
        app.fs.write(f + "\\" + n, "x", false);
        DWORD a = n == "hid.dll" ? FILE_ATTRIBUTE_HIDDEN : n == "sys.dll" ? FILE_ATTRIBUTE_SYSTEM : 0;
        if (a) SetFileAttributesA((f + "\\" + n).c_str(), a);
        char shortPath[MAX_PATH];
        if (GetShortPathNameA((f + "\\" + n).c_str(), shortPath, MAX_PATH)) spellings.push_back(shortPath);
      }
    // Names the code page cannot hold, and one it can.
    for (const wchar_t* w : {L"\\\u00e9t\u00e9.dll", L"\\\u0416\u0416.dll"}) {
      std::wstring path(f.begin(), f.end());
      CloseHandle(CreateFileW((path + w).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    spellings.push_back(f + "\\.");
    spellings.push_back(f + "\\..\\App");
  }
  for (const char* gone : {"\\Gone", "\\Gone\\App", "\\Vendor\\Gone\\Deep", "\\a.dll\\under a file"})
    spellings.push_back(root + gone);
  const std::vector<std::string> lineNames = {"a.dll", "MIXED.dll", "long file name.dll", "LONGFI~1.DLL", "lnk.dll",
                                              "hid.dll", "sys.dll", "plain.exe", "x", "a.dll.", "a.dll ", " a.dll",
                                              "con", "NUL.dll", "com1.txt", "ete.dll", "\xe9t\xe9.dll", "*.dll",
                                              "absent.dll", "App", "lnkdir", "hidden"};
  Planted out;
  // Most lines spell a folder as the others do (a folder is remembered by its text), some not.
  auto spelling = [&] { return rng() % 5 ? pick(spellings) : recase(pick(spellings)); };
  for (int i = 0; i < 250; ++i) {
    const std::string threat = "T" + std::to_string(rng() % 9);
    const std::string folder = spelling();
    out.fileLines.push_back(recase(pick(lineNames)) + "=" + threat + "|" + folder + (rng() % 4 ? "|Adware" : ""));
    if (i % 3 == 0) out.fileLines.push_back(pick(spellings) + "=" + threat);  // a folder as a file
    std::string dir = spelling() + (rng() % 2 ? "\\" + recase(pick(lineNames)) : "");
    out.dirLines.push_back("D" + std::to_string(i) + "=" + threat + "|" + dir + (rng() % 9 ? "" : "\\"));
  }

  // Keys: two vendors with products that hold values of each type; lines name them, their other
  // spellings, absent vendors and products, and absent values.
  Registry& r = app.registry;
  r.deleteTree(kHkeyCurrentUser, kKeys);
  std::vector<std::string> keys = {kKeys + "\\Gone\\App", kKeys + "\\Vendor\\Gone", kKeys + "\\Vendor\\App\\",
                                   kKeys + "\\\\Vendor", kKeys + "\\V\xe9ndor"};
  for (const char* v : {"Vendor", "V\xe9ndor", "Other"})
    for (const char* p : {"App", "Tool"}) {
      const std::string k = kKeys + "\\" + v + "\\" + p;
      keys.push_back(k);
      if (rng() % 4) r.setValue(kHkeyCurrentUser, k, "Sz", RegValue{kRegSz, std::string("x\0", 2)});
      if (rng() % 4) r.setValue(kHkeyCurrentUser, k, "Dw", RegValue{kRegDword, std::string("\1\0\0\0", 4)});
      if (rng() % 4) r.setValue(kHkeyCurrentUser, k, "Bin", RegValue{kRegBinary, "ab"});
    }
  for (int i = 0; i < 200; ++i) {
    const char* values[] = {"", "", "Sz", "SZ", "Dw", "Bin", "None", "\xe9"};
    out.registryLines.push_back("1^" + recase(pick(keys)) + "^" + values[rng() % 8] + "=R" + std::to_string(rng() % 9));
  }
  return out;
}

// Everything a scan finds and writes: rows with every column, counters, the report.
std::string everything(const Session& m, App& app) {
  std::string all;
  const ScanResults& r = m.results;
  for (const FoundRow& f : r.foundRows()) all += f.text + "|" + std::to_string(f.icon) + "\n";
  for (int i = 0; i < r.removalCount(); ++i)
    all += r.removalRow(i).threat + "|" + r.removalRow(i).location + "|" + r.removalRow(i).type + "\n";
  for (int i = 0; i < r.fileWorkCount(); ++i) all += r.fileWork(i).path + "|" + r.fileWork(i).threat + "\n";
  for (int i = 0; i < r.registryWorkCount(); ++i)
    all += r.registryWork(i).root + "|" + r.registryWork(i).key + "|" + r.registryWork(i).value + "\n";
  for (int n : {m.counters.filesInspected, m.counters.registryInspected, m.counters.threatsFound, r.traces()})
    all += std::to_string(n) + "\n";
  return all + app.readText("Scan_Log.txt");
}

}  // namespace

// Remembering folders and keys changes what a scan costs, never what it finds: the same planted
// machine scanned both ways shows the same rows, counters and report, byte for byte, while the
// remembering scan probes fewer paths.
TEST(FolderMemory, ScansAsEveryLineProbedAlone) {
  App app;
  MarkedLinks fs;
  SessionOverFiles over(app, fs);
  Session& m = over.session;
  m.settings.write(keys::chkSweepMemory, "0");
  m.settings.write(keys::chkMakeLog, "1");
  for (unsigned seed : {1u, 2u, 3u}) {
    const Planted p = plant(app, seed);
    app.writeEmptyDefinitions();
    app.writeDefinitions("FileDefinition.dat", p.fileLines);
    app.writeDefinitions("DirectoryDefinition.dat", p.dirLines);
    app.writeDefinitions("RegistryDefinition.dat", p.registryLines);
    std::string shown[2];
    int probes[2];
    for (bool remember : {false, true}) {
      rememberFoldersAndKeys(remember);
      fs.probes = 0;
      scan(m);
      shown[remember] = everything(m, app);
      probes[remember] = fs.probes;
    }
    EXPECT_EQ(shown[0], shown[1]) << "seed " << seed;
    EXPECT_NE(shown[0].find("Adware"), std::string::npos);  // something was found
    EXPECT_LT(probes[1], probes[0] * 9 / 10) << "seed " << seed;  // most names here are the probe's to answer
  }
  rememberFoldersAndKeys(true);
  app.registry.deleteTree(kHkeyCurrentUser, kKeys);
}
