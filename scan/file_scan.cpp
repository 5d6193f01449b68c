#include "scan/file_scan.h"

#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/grammar.h"
#include "scan/folder_memory.h"

namespace quillon {

namespace {

void reportStatus(ScanEnv& env, const std::string& item) {
  const DefinitionCounts& c = env.counts;
  double inspected = env.counters.filesInspected;
  showProgress(env, [&] { return item; }, percentOf(inspected, c.file),
               percentOf(inspected + c.registry + c.cookie + c.exe, c.total()));
}

// A line with a blank threat name is listed under its file name or folder label, so that the
// row names something the user can recognise rather than reading " - Found".
void addFinding(ScanEnv& env, const std::string& path, const PathDefinition& d, const std::string& name,
                int icon) {
  const std::string threat = trim(d.threat).empty() ? name : d.threat;
  env.results.addFileWork(path, threat);
  addThreatRows(env, threat, icon, path, d.type);
}

}  // namespace

// "[drive]" (exact case), then the folder tokens, then the backslash collapse.
std::string expandDefinitionFolder(const ScanEnv& env, const std::string& folder) {
  std::string f = replaceAll(folder, "[drive]", env.tokens.driveRoot());
  return collapseBackslashes(env.tokens.expand(std::move(f)));
}

FileDefinitionLine readFileDefinitionLine(const ScanEnv& env, const std::string& line) {
  FileDefinitionLine f;
  f.definition = parsePathLine(line);
  f.fileName = trim(f.definition.head);
  std::string folder = f.definition.hasFolder ? expandDefinitionFolder(env, f.definition.folder) : std::string();
  f.path = collapseBackslashes(folder.empty() ? f.fileName : folder + "\\" + f.fileName);
  return f;
}

void judgePresentFile(ScanEnv& env, const std::string& spelt, const PathDefinition& d, const std::string& fileName) {
  // Judged and shown by what it is: its one canonical spelling.
  const std::string path = env.platform.fs.canonicalPath(spelt);
  if (path.empty() || env.protectedLocations.isOwnFile(path)) return;
  if (env.exclusions.isFileExcluded(path)) {
    env.results.addExcluded(path);
    return;
  }
  // The system's own files are never reported, whatever a definition says.
  if (env.protectedLocations.isSystemFile(path)) return;
  addFinding(env, path, d, fileName, kIconFile);
}

void scanFiles(ScanEnv& env) {
  Platform& p = env.platform;
  LineReader reader = env.defs.open(kFileDefs);
  if (!reader.isOpen()) return;
  FolderMemory folders(p.fs, &p.pump);
  std::string plain;
  for (std::string line; !env.host.scanCancelled() && reader.next(line); p.pump.yield()) {
    if (!decodeDefinition(line, plain)) continue;
    const FileDefinitionLine f = readFileDefinitionLine(env, plain);

    ++env.counters.filesInspected;
    reportStatus(env, f.fileName);
    if (env.host.scanCancelled()) break;

    // A relative location names no one place: never a finding (nor a probe of the current folder).
    if (isAbsolutePath(f.path) && folders.fileExists(f.path)) judgePresentFile(env, f.path, f.definition, f.fileName);
  }
}

void scanDirectories(ScanEnv& env) {
  Platform& p = env.platform;
  LineReader reader = env.defs.open(kDirectoryDefs);
  if (!reader.isOpen()) return;
  FolderMemory folders(p.fs, &p.pump);
  std::string plain;
  for (std::string line; !env.host.scanCancelled() && reader.next(line); p.pump.yield()) {
    if (!decodeDefinition(line, plain)) continue;
    PathDefinition d = parsePathLine(plain);
    if (!d.hasFolder || d.folder.empty()) continue;
    std::string label = removeChars(d.head, "\r\n\t");
    std::string path = collapseBackslashes(expandDefinitionFolder(env, d.folder));

    ++env.counters.filesInspected;
    reportStatus(env, label);
    if (env.host.scanCancelled()) break;

    if (!isAbsolutePath(path) || !folders.folderExists(path)) continue;
    path = p.fs.canonicalPath(path);
    if (path.empty() || env.protectedLocations.isProtectedFolder(path)) continue;
    if (env.exclusions.isFolderExcluded(path)) {
      env.results.addExcluded(path);
      continue;
    }
    addFinding(env, path, d, label, kIconFolder);
  }
}

}  // namespace quillon
