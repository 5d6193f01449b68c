// A whole scan over an in-memory machine built from the input: the definition files, the
// exclusion list, the cookies, files, folders, registry entries and running programs. Whatever
// they hold, the scan may write nothing but its report and the exclusion list, may stop only
// running programs that a definition names (never its own), may never list a protected folder
// or one of its own files, lists exactly the cookies whose site is blocked, and the report's
// total must be the results' count.
//
// The input is text in sections, each opened by a line "[name]":
//   [FileDefinition.dat] [DirectoryDefinition.dat] [RegistryDefinition.dat] [ExeDefinition.dat]
//   [BlockedCookies.dat]  definition lines in plain text; they are enciphered here, so that the
//                         fuzzer's comparisons with "|", "=" and "^" reach the grammars directly
//   [ENoSignature.txt]    the exclusion list as the user left it
//   [cookies]             "name|bytes": a file of the user's cookie folder ("user@site[1].txt")
//   [files] [hidden]      "path" or "path|bytes" (the bytes are the file, e.g. version information)
//   [folders]             folder paths
//   [registry]            "root^key^value^type": root 0 to 5, type a digit; no value name, a key
//   [processes]           executable paths of running programs
//   [options]             "9x" (the old systems' process list), "nocookies", "noregistry",
//                         "nomemory", "complete" (the walk of drive C: too), "stop N" (Stop
//                         pressed at the run's N-th look at it)
// The run is the one the Start button starts (ScanRun), phases, walk and counters included.
// A definition file without a section is missing, which ends the run at its first check.
#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/grammar.h"
#include "fuzz_check.h"
#include "memory_platform.h"
#include "sections.h"
#include "blocked_rule.h"
#include "reports/report.h"
#include "scan/company_name.h"
#include "scan/cookie_scan.h"
#include "scan/file_scan.h"
#include "scan/memory_scan.h"
#include "scan/registry_scan.h"
#include "tests/support/hosts.h"
#include "scan/scan_run.h"

using namespace quillon;
using fuzz::MemoryProcess;

namespace {

const std::string kApp = "C:\\Program Files\\Quillon";
const uint32_t kOwnId = 4;

// The machine's special folders (identifier, path): the tokens' folders and the profile's.
const std::pair<int, const char*> kShellFolders[] = {
    {0x00, "C:\\Documents and Settings\\user\\Desktop"}, {0x02, "C:\\Documents and Settings\\user\\Start Menu\\Programs"},
    {0x05, "C:\\Documents and Settings\\user\\My Documents"}, {0x06, "C:\\Documents and Settings\\user\\Favorites"},
    {0x07, "C:\\Documents and Settings\\user\\Start Menu\\Programs\\Startup"},
    {0x08, "C:\\Documents and Settings\\user\\Recent"}, {0x09, "C:\\Documents and Settings\\user\\SendTo"},
    {0x0B, "C:\\Documents and Settings\\user\\Start Menu"}, {0x10, "C:\\Documents and Settings\\user\\Desktop"},
    {0x14, "C:\\WINDOWS\\Fonts"}, {0x15, "C:\\Documents and Settings\\user\\Templates"},
    {0x16, "C:\\Documents and Settings\\All Users\\Start Menu"},
    {0x17, "C:\\Documents and Settings\\All Users\\Start Menu\\Programs"},
    {0x19, "C:\\Documents and Settings\\All Users\\Desktop"},
    {0x1A, "C:\\Documents and Settings\\user\\Application Data"},
    {0x1E, "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup"},
    {0x20, "C:\\Documents and Settings\\user\\Local Settings\\Temporary Internet Files"},
    {0x21, "C:\\Documents and Settings\\user\\Cookies"}, {0x22, "C:\\Documents and Settings\\user\\Local Settings\\History"},
    {0x23, "C:\\Documents and Settings\\All Users\\Application Data"}, {0x24, "C:\\WINDOWS"},
    {0x25, "C:\\WINDOWS\\system32"}, {0x26, "C:\\Program Files"}, {0x28, "C:\\Documents and Settings\\user"},
    {0x2B, "C:\\Program Files\\Common Files"}, {0x2E, "C:\\Documents and Settings\\All Users\\Documents"}};

using fuzz::Sections;
using fuzz::readSections;

// Stop pressed at the run's stopAt-th look; the results after the cookie phase kept for the
// checks below, taken when the next phase begins.
class Host : public ScanRunHost {
 public:
  Host(const ScanCounters& counters, const ScanResults& results) : counters_(counters), results_(results) {}
  int stopAt = -1;
  mutable int looks = 0;
  bool cookiePhaseTaken = false;
  int cookieThreats = 0;
  std::vector<FoundRow> cookiePhaseRows;
  bool cancelled() const override { return stopAt >= 0 && ++looks > stopAt; }
  void phaseStarted(ScanPhase phase, const std::string&) override { afterCookies(phase); }
  void phaseSkipped(ScanPhase phase) override { afterCookies(phase); }

 private:
  void afterCookies(ScanPhase phase) {
    if (phase == ScanPhase::Cookies || cookiePhaseTaken) return;
    cookiePhaseTaken = true;
    cookieThreats = counters_.threatsFound;
    cookiePhaseRows = results_.foundRows();  // later phases add their own
  }
  const ScanCounters& counters_;
  const ScanResults& results_;
};

// Upper case, trailing backslashes, spaces and dots gone: how two spellings of a folder compare.
std::string folderKey(std::string p) {
  p = toUpper(collapseBackslashes(p));
  while (!p.empty() && (p.back() == '\\' || p.back() == ' ' || p.back() == '.')) p.pop_back();
  return p;
}

// A finding may never be a folder whose removal takes the system, a profile, the program or
// a drive with it.
bool mustNeverBeFound(const std::string& folder) {
  const std::string f = folderKey(folder);
  if (f.size() <= 3) return true;
  std::vector<std::string> keep{folderKey(kApp)};
  for (const auto& sf : kShellFolders) keep.push_back(folderKey(sf.second));
  for (const std::string& k : keep)
    if (k == f || (k.size() > f.size() && k.compare(0, f.size(), f) == 0 && k[f.size()] == '\\')) return true;
  return false;
}

std::string defsPath(const std::string& name) { return kApp + "\\" + name; }

}  // namespace

// The machine the input describes, with the program installed in kApp and running as kOwnId.
struct Machine : fuzz::MemoryMachine {
  std::set<std::string> programFiles;  // upper case: the program and the data files it keeps
  std::string cookieFolder;
  bool cookies = true, memory = true, registryPhase = true, complete = false;
  int stopAt = -1;

  explicit Machine(Sections& in);
};

Machine::Machine(Sections& in) {
  quiet.exe = kApp + "\\quillon.exe";
  for (const auto& [csidl, path] : kShellFolders) {
    shell.folders[csidl] = path;
    fs.addFolder(path);
  }
  shell.programs = shell.folders[0x02];
  fs.addFolder(kApp);
  fs.addFile(quiet.exe, "MZ");
  programFiles = {toUpper(quiet.exe), toUpper(defsPath(kExclusionFile))};
  for (const char* name : kDefinitionFiles) {
    programFiles.insert(toUpper(defsPath(name)));
    auto lines = in.find(name);
    if (lines == in.end()) continue;
    std::string text;
    for (const std::string& l : lines->second) text += encodeDefinitionLine(l) + "\r\n";
    fs.addFile(defsPath(name), text);
  }
  if (in.count(kExclusionFile)) {
    std::string text;
    for (const std::string& l : in[kExclusionFile]) text += l + "\r\n";
    fs.addFile(defsPath(kExclusionFile), text);
  }
  for (const char* kind : {"files", "hidden"})
    for (const std::string& l : in[kind]) {
      size_t bar = l.find('|');
      fs.addFile(l.substr(0, bar), bar == std::string::npos ? "" : l.substr(bar + 1), kind[0] == 'h');
    }
  cookieFolder = shell.folders[kCookieFolderId];
  for (const std::string& l : in["cookies"]) {
    size_t bar = l.find('|');
    fs.addFile(cookieFolder + "\\" + l.substr(0, bar), bar == std::string::npos ? "" : l.substr(bar + 1));
  }
  for (const std::string& l : in["folders"]) fs.addFolder(l);
  for (const std::string& l : in["registry"]) {
    std::vector<std::string> f = split(l, "^");
    uint32_t root = 0;
    std::string rootName;
    if (f.size() < 2 || !registryRoot(f[0], root, rootName)) continue;
    if (f.size() < 3 || f[2].empty()) registry.addKey(root, f[1]);
    else registry.addValue(root, f[1], f[2], f.size() > 3 && !f[3].empty() ? uint32_t(f[3][0] - '0') : kRegSz);
  }
  processes.ownId = kOwnId;
  processes.table.push_back({kOwnId, quiet.exe});
  for (const std::string& l : in["processes"]) processes.table.push_back({uint32_t(100 + 4 * processes.table.size()), l});
  for (const std::string& o : in["options"]) {
    if (o == "9x") processes.version = OsVersion{kPlatform9x, 4, 10};
    if (o == "nocookies") cookies = false;
    if (o == "noregistry") registryPhase = false;
    if (o == "nomemory") memory = false;
    if (o == "complete") complete = true;
    if (o.rfind("stop ", 0) == 0) stopAt = std::atoi(o.c_str() + 5);
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Sections in = readSections(fuzz::bytes(data, size));

  Machine m(in);
  fuzz::MemoryFileSystem& fs = m.fs;
  fuzz::MemoryProcesses& processes = m.processes;
  const std::vector<MemoryProcess> running = processes.table;
  DefinitionStore defs(fs, kApp);
  ExclusionList exclusions(fs, m.quiet, defs.path(kExclusionFile));
  exclusions.load();
  const DefinitionCounts counts = defs.count();
  ScanCounters counters;
  ScanResults results;
  ExecutableList exeList;
  const OwnPrograms own = ownPrograms(processes, m.quiet.exe, kApp);
  Host host(counters, results);
  host.stopAt = m.stopAt;
  ScanOptions options;
  options.cookies = m.cookies;
  options.memory = m.memory;
  options.registry = m.registryPhase;
  options.complete = m.complete;
  options.driveRoots = {"C:\\"};
  ScanRun run(ScanRunEnv{m.platform, kApp, "Quillon", defs, exclusions, counts, counters, results, exeList, own},
              host);
  const ScanOutcome outcome = run.run(options);
  if (!outcome.looked) {
    // A missing file: the definitions and their date are discarded, and nothing else happens.
    for (const auto& change : fs.changes) {
      FUZZ_CHECK(change.first == "delete");
      FUZZ_CHECK(std::any_of(std::begin(kDefinitionFiles), std::end(kDefinitionFiles),
                             [&](const char* n) { return iequals(change.second, defs.path(n)); }) ||
                 iequals(change.second, defs.path(kDateFile)));
    }
    return 0;
  }
  const int cookieThreats = host.cookieThreats;
  const std::vector<FoundRow>& cookiePhaseRows = host.cookiePhaseRows;
  FUZZ_CHECK(host.cookiePhaseTaken);
  FUZZ_CHECK(writeScanReport(fs, kApp, Branding{"Quillon", "Quillon", "", 1, 0}, outcome, results));
  if (std::getenv("QUILLON_FUZZ_SHOW")) {  // for whoever writes a seed: what the run found
    for (const FoundRow& row : results.foundRows()) std::fprintf(stderr, "found: %s\n", row.text.c_str());
    for (uint32_t id : processes.terminated) std::fprintf(stderr, "stopped: %u\n", unsigned(id));
  }

  // Nothing written but the report (and the exclusion list, which only the user's answers add to).
  for (const auto& [what, path] : fs.changes) {
    // The report is written whole under a name of its own beside it, then put in its place.
    const std::string reportPath = toUpper(kApp + "\\" + kReportFile), upper = toUpper(path);
    const bool fresh = upper.rfind(reportPath + ".", 0) == 0 && upper.size() > 4 &&
                       upper.compare(upper.size() - 4, 4, ".NEW") == 0 && (what == "write" || what == "delete");
    const bool report = fresh || (upper == reportPath && (what == "replace" || what == "delete"));
    const bool exclusion = iequals(path, defs.path(kExclusionFile)) && what == "write";
    FUZZ_CHECK(report || exclusion);
  }
  FUZZ_CHECK(m.registry.changes.empty());

  // Only running programs that an executable definition names are stopped, never our own, an
  // excluded one or one of the system's own files.
  std::string exeLines;
  for (const std::string& l : in[kExeDefs]) exeLines += toUpper(decodeDefinitionLine(encodeDefinitionLine(l))) + "\n";
  for (uint32_t id : processes.terminated) {
    FUZZ_CHECK(id != kOwnId);
    auto p = std::find_if(running.begin(), running.end(), [&](const MemoryProcess& e) { return e.id == id; });
    FUZZ_CHECK(p != running.end());
    const std::string name = toUpper(trim(fileNameFromPath(p->path)));
    FUZZ_CHECK(exeLines.find(name) != std::string::npos);  // "" when a definition's path ends in "\"
    FUZZ_CHECK(!exclusions.isFileExcluded(name));
    if (toUpper(p->path).find("SYSTEM32\\") == std::string::npos)
      FUZZ_CHECK(!iequals(trim(readCompanyName(fs, p->path)), "Microsoft Corporation"));
  }

  // Findings: files that are there, not excluded and not the program's own; folders that are neither protected nor
  // excluded.
  // Inside the Windows folder only programs are findings, and no folder of its first level.
  const std::string windows = folderKey("C:\\WINDOWS") + "\\";
  for (const FileItem& row : results.fileRows()) {
    FUZZ_CHECK(fs.hasFile(row.path) || fs.folderExists(row.path));
    const std::string key = folderKey(row.path);
    const bool inWindows = key.compare(0, windows.size(), windows) == 0;
    if (fs.hasFile(row.path)) {
      FUZZ_CHECK(!exclusions.isFileExcluded(row.path));
      FUZZ_CHECK(!m.programFiles.count(toUpper(row.path)));
      FUZZ_CHECK(!inWindows || lookAtFile(fs, row.path).program);
    } else {
      FUZZ_CHECK(!mustNeverBeFound(row.path));
      FUZZ_CHECK(!exclusions.isFolderExcluded(row.path));
      FUZZ_CHECK(!inWindows || key.find('\\', windows.size()) != std::string::npos);
    }
  }
  // Of the SYSTEM hive only a service's keys and values can be findings.
  for (const RegistryItem& row : results.registryRows()) {
    const std::string key = ProtectedLocations::machineKeyPath(uint32_t(std::stol(row.root)), row.key);
    FUZZ_CHECK(key != "SYSTEM" && (key.rfind("SYSTEM\\", 0) != 0 ||
                                   (key.rfind("SYSTEM\\CURRENTCONTROLSET\\SERVICES\\", 0) == 0 && key.size() > 34)));
  }

  // Cookies: a work row is a listed file of the cookie folder whose site is blocked, with its
  // results and removal rows; a blocked but excluded one has its "EXCLUDED: " row and nothing
  // else. Unless Stop was pressed, every blocked cookie is one or the other.
  std::vector<std::string> blockedEntries;
  for (const std::string& l : in[kCookieDefs])
    for (const std::string& part : split(decodeDefinitionLine(encodeDefinitionLine(l)), "|")) blockedEntries.push_back(part);
  std::set<std::string> cookieRows;
  for (const CookieItem& row : results.cookieRows()) {
    const std::string name = fileNameFromPath(row.path);
    FUZZ_CHECK(iequals(row.path, m.cookieFolder + "\\" + name) && fs.hasFile(row.path));
    FUZZ_CHECK(fuzz::blockedByRule(blockedEntries, reduceCookieDomain(cookieFileDomain(fs, m.quiet, row.path))));
    FUZZ_CHECK(!exclusions.isFileExcluded(row.path));
    FUZZ_CHECK(std::any_of(cookiePhaseRows.begin(), cookiePhaseRows.end(),
                           [&](const FoundRow& i) { return i.text == kCookieFoundPrefix + name; }));
    FUZZ_CHECK(cookieRows.insert(toUpper(row.path)).second);
  }
  int cookieRemovalRows = 0;
  for (const RemovalRow& row : results.removalRows()) {
    if (row.type != kCookieType) continue;
    ++cookieRemovalRows;
    FUZZ_CHECK(cookieRows.count(toUpper(row.location)));
  }
  FUZZ_CHECK(cookieRemovalRows == int(cookieRows.size()) && cookieThreats == int(cookieRows.size()));
  if (!m.cookies) FUZZ_CHECK(cookieRows.empty());
  for (const std::string& name : fs.listFiles(m.cookieFolder + "\\*")) {
    const std::string path = m.cookieFolder + "\\" + name;
    const bool blocked = fuzz::blockedByRule(blockedEntries, reduceCookieDomain(cookieFileDomain(fs, m.quiet, path)));
    const bool excludedRow =
        std::any_of(cookiePhaseRows.begin(), cookiePhaseRows.end(),
                    [&](const FoundRow& i) { return i.text == kExcludedPrefix + path; });
    if (!blocked || !m.cookies) FUZZ_CHECK(!cookieRows.count(toUpper(path)) && !excludedRow);
    if (excludedRow) FUZZ_CHECK(blocked && exclusions.isFileExcluded(path) && !cookieRows.count(toUpper(path)));
    if (blocked && m.cookies && m.stopAt < 0) FUZZ_CHECK(cookieRows.count(toUpper(path)) || excludedRow);
  }

  // The counts shown and the report agree with the results: every threat is a row to remove,
  // except a running program, which was listed as stopped (or not) instead.
  const std::vector<FoundRow>& found = results.foundRows();
  const int memoryRows = int(std::count_if(found.begin(), found.end(), [](const FoundRow& i) {
    return i.text.rfind("Detected in the memory : ", 0) == 0;
  }));
  FUZZ_CHECK(counters.threatsFound == results.removalCount() + memoryRows);
  std::string block = "[Threats Detected]\r\n\r\n\r\n";
  for (const RemovalRow& row : results.removalRows()) block += row.threat + "\r\n\r\n" + row.location + "\r\n\r\n\r\n";
  block += "Total = " + std::to_string(results.removalCount()) + "\r\n";
  const std::string written = fs.content(kApp + "\\" + kReportFile);
  FUZZ_CHECK(written.find(block) != std::string::npos);
  FUZZ_CHECK(written.find(" 3)Total Number of Files/Folders inspected: " + std::to_string(counters.filesInspected) + "\r\n") !=
             std::string::npos);
  return 0;
}
