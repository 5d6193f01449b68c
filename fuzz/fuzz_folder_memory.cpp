// The registry, file and directory phases over an in-memory machine built from the input, run
// twice: probing every line on its own, then remembering folders and keys. Both runs must show
// the same rows in the same order with every column, the same counters and the same report.
//
// The input is text in sections, each opened by a line "[name]":
//   [FileDefinition.dat] [DirectoryDefinition.dat] [RegistryDefinition.dat]  plain definition lines
//   [files] [hidden]   file paths          [folders]   folder paths
//   [registry]         "root^key^value^type": root 0 to 5, type a digit; no value name, a key
//   [paths]            paths asked twice over, of a memory small enough to forget: as file, as
//                      folder, and as registry key and value ("root^key^value")
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/grammar.h"
#include "fuzz_check.h"
#include "memory_platform.h"
#include "sections.h"
#include "reports/report.h"
#include "scan/file_scan.h"
#include "scan/folder_memory.h"
#include "scan/registry_scan.h"
#include "tests/support/hosts.h"

using namespace quillon;

namespace {

const std::string kApp = "C:\\Program Files\\Quillon";

using fuzz::Sections;
using fuzz::readSections;

// Every row of the results, each field in order, so that two runs compare whole.
std::string rowsOf(const ScanResults& r) {
  std::string all;
  auto line = [&](std::initializer_list<std::string> fields) {
    for (const std::string& f : fields) all += f + "|";
    all += "\n";
  };
  for (const FoundRow& f : r.foundRows()) line({f.text, std::to_string(f.icon), std::to_string(f.checked)});
  for (const RemovalRow& x : r.removalRows())
    line({x.threat, x.location, x.type, std::to_string(x.icon), std::to_string(x.checked)});
  for (const FileItem& x : r.fileRows()) line({x.path, x.threat, std::to_string(x.checked)});
  for (const RegistryItem& x : r.registryRows()) line({x.root, x.key, x.value, x.threat, std::to_string(x.checked)});
  return all;
}

// One run of the three phases; what it shows and writes.
std::string scan(fuzz::MemoryMachine& m) {
  DefinitionStore defs(m.fs, kApp);
  const DefinitionCounts counts = defs.count();
  ExclusionList exclusions(m.fs, m.quiet, defs.path(kExclusionFile));
  exclusions.load();
  FolderTokens tokens(m.shell);
  ProtectedLocations protectedLocations(m.platform, kApp);
  ScanCounters counters;
  ScanResults results;
  test::QuietScanHost host;
  ScanEnv env{m.platform, defs, exclusions, tokens, counts, counters, results, host, protectedLocations};
  scanRegistry(env);
  scanFiles(env);
  scanDirectories(env);
  ReportInputs report{"Quillon", 1, 0, "S", "F", "0", std::to_string(counters.registryInspected),
                      std::to_string(counters.filesInspected), results};
  FUZZ_CHECK(makeReport(m.fs, kApp, report));
  const std::string written = m.fs.content(kApp + "\\" + kReportFile);
  m.fs.deleteFile(kApp + "\\" + kReportFile);  // the next run starts from the same machine
  return rowsOf(results) + std::to_string(results.traces()) + "\n" +
         std::to_string(counters.threatsFound) + "\n" + written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Sections in = readSections(fuzz::bytes(data, size));
  fuzz::MemoryMachine m;
  m.quiet.exe = kApp + "\\quillon.exe";
  for (const auto& [csidl, path] : {std::pair<int, const char*>{0x1A, "C:\\Users\\u\\AppData"}, {0x24, "C:\\Windows"},
                                    {0x25, "C:\\Windows\\System32"}, {0x26, "C:\\Program Files"}}) {
    m.shell.folders[csidl] = path;
    m.fs.addFolder(path);
  }
  m.fs.addFile(m.quiet.exe, "MZ");
  for (const char* name : {kFileDefs, kDirectoryDefs, kRegistryDefs, kExeDefs, kCookieDefs}) {
    std::string text;
    for (const std::string& l : in[name]) text += encodeDefinitionLine(l) + "\r\n";
    m.fs.addFile(kApp + "\\" + name, text);
  }
  for (const char* kind : {"files", "hidden"})
    for (const std::string& path : in[kind]) m.fs.addFile(path, "", kind[0] == 'h');
  for (const std::string& path : in["folders"]) m.fs.addFolder(path);
  for (const std::string& l : in["registry"]) {
    std::vector<std::string> f = split(l, "^");
    uint32_t root = 0;
    std::string rootName;
    if (f.size() < 2 || !registryRoot(f[0], root, rootName)) continue;
    if (f.size() < 3 || f[2].empty()) m.registry.addKey(root, f[1]);
    else m.registry.addValue(root, f[1], f[2], f.size() > 3 && !f[3].empty() ? uint32_t(f[3][0] - '0') : kRegSz);
  }

  rememberFoldersAndKeys(false);
  const std::string probed = scan(m);
  rememberFoldersAndKeys(true);
  const std::string remembered = scan(m);
  FUZZ_CHECK(probed == remembered);

  // A memory that must forget what it listed and opened answers as the probes still.
  const MemoryLimits tiny{2, 3, 5, 4};
  FolderMemory folders(m.fs, nullptr, tiny);
  KeyMemory keys(m.registry, tiny);
  for (int round = 0; round < 2; ++round)
    for (const std::string& p : in["paths"]) {
      FUZZ_CHECK(folders.fileExists(p) == fileExists(m.fs, p));
      FUZZ_CHECK(folders.folderExists(p) == m.fs.folderExists(p));
      std::vector<std::string> f = split(p, "^");
      uint32_t root = 0;
      std::string rootName;
      if (f.size() < 2 || !registryRoot(f[0], root, rootName)) continue;
      FUZZ_CHECK(keys.keyExists(root, f[1]) == registryKeyExists(m.registry, root, f[1]));
      const std::string value = f.size() > 2 ? f[2] : "";
      FUZZ_CHECK(keys.valueExists(root, f[1], value) == registryValueExists(m.registry, root, f[1], value));
    }
  return 0;
}
