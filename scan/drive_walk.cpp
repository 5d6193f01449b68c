#include "scan/drive_walk.h"

#include <chrono>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "common/text.h"
#include "definitions/cipher.h"
#include "scan/file_scan.h"

namespace quillon {

namespace {

// The first line naming a file name, as the finding will be listed.
struct NamedFile {
  PathDefinition definition;
  std::string fileName;
};

// The longest path the system's file functions take (its limit less the terminating NUL): a
// file with a longer path can be listed, but not examined, copied or deleted through it.
constexpr size_t kLongestPath = 259;

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// What the definitions say, in the form the walk asks it: file names (upper case) with their
// first line, the paths the file scan examines and the folders the directory scan examines
// (both in ProtectedLocations' normal form).
class DefinitionIndex {
 public:
  explicit DefinitionIndex(ScanEnv& env) {
    std::string line, plain;
    for (LineReader r = env.defs.open(kFileDefs); r.isOpen() && r.next(line);) {
      if (!decodeDefinition(line, plain)) continue;
      FileDefinitionLine f = readFileDefinitionLine(env, plain);
      // A name with a folder part or a wildcard names no single file a listing could show.
      if (f.fileName.empty() || f.fileName.find_first_of("\\/:*?") != std::string::npos) continue;
      files_.insert(ProtectedLocations::normalFolder(lexicalFullPath(f.path)));
      names_.emplace(toUpper(f.fileName), NamedFile{std::move(f.definition), f.fileName});
    }
    for (LineReader r = env.defs.open(kDirectoryDefs); r.isOpen() && r.next(line);) {
      if (!decodeDefinition(line, plain)) continue;
      PathDefinition d = parsePathLine(plain);
      if (!d.hasFolder || d.folder.empty()) continue;
      const std::string folder = lexicalFullPath(expandDefinitionFolder(env, d.folder));
      if (folder.empty()) continue;
      // A definition naming a protected folder must not blind the walk to all below it.
      if (!env.protectedLocations.isProtectedFolder(folder)) folders_.insert(ProtectedLocations::normalFolder(folder));
    }
  }

  bool empty() const { return names_.empty(); }

  // One hash lookup, through a key buffer that is reused, so no entry costs an allocation.
  const NamedFile* byName(const char* name, size_t length) {
    key_.assign(name, length);
    for (char& c : key_) c = upperAscii(c);
    auto it = names_.find(key_);
    return it == names_.end() ? nullptr : &it->second;
  }
  bool coversFile(const std::string& path) const { return files_.count(ProtectedLocations::normalFolder(path)) > 0; }
  bool coversFolder(const std::string& path) const {
    return !folders_.empty() && folders_.count(ProtectedLocations::normalFolder(path)) > 0;
  }

 private:
  std::unordered_map<std::string, NamedFile> names_;
  std::unordered_set<std::string> files_, folders_;
  std::string key_;
};

class Walker {
 public:
  Walker(ScanEnv& env, DefinitionIndex& index, const DriveWalkOptions& options, size_t roots)
      : env_(env), index_(index), interval_(std::chrono::milliseconds(options.yieldIntervalMs)), roots_(roots),
        lastYield_(Clock::now()) {}

  void walkRoot(size_t rootNumber, std::string root) {
    while (!root.empty() && root.back() == '\\') root.pop_back();
    // The root's own entries are taken first: how many there are measures the drive's progress.
    std::vector<FolderEntry> top;
    if (auto s = env_.platform.fs.streamFolder(root))
      for (FolderEntryView e; s->next(e);) top.push_back({std::string(e.name, e.length), e.attributes, 0});
    for (size_t i = 0; i < top.size() && !stopped(); ++i) {
      percent_ = percentOf(double(rootNumber) + double(i) / double(top.size()), double(roots_));
      path_ = root;
      visit(top[i].name.c_str(), top[i].name.size(), top[i].attributes, root.size());
      walkBelow();
    }
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Frame {
    std::unique_ptr<FolderStream> stream;
    size_t length;  // of the folder's path
  };

  bool stopped() const { return env_.host.scanCancelled(); }

  // One entry of the folder whose path is the first `folderLength` characters of path_.
  void visit(const char* name, size_t length, uint32_t attributes, size_t folderLength) {
    path_.resize(folderLength);
    path_ += '\\';
    path_.append(name, length);
    ++env_.counters.filesInspected;
    showProgress(env_, [&] { return folderLength == 2 ? path_.substr(0, 2) + "\\" : path_.substr(0, folderLength); },
                 percent_, -1);
    if (attributes & kAttrLink) return;
    // The system drops a trailing dot or space from the names of a path it is given: such an
    // entry cannot be reached by its path, and the path would lead to its twin without them.
    if (name[length - 1] == '.' || name[length - 1] == ' ') return;
    if (attributes & kAttrFolder) {
      if (index_.coversFolder(path_)) return;
      // Opening a folder is one call to the system, and under Wine the first read of a folder
      // of thousands of names is tens of milliseconds: Stop and Pause get their turn just before
      // it rather than after a whole interval and it.
      turn();
      if (stopped()) return;
      if (auto s = env_.platform.fs.streamFolder(path_)) stack_.push_back({std::move(s), path_.size()});
      return;
    }
    // Hidden and system files are absent to the file scan, and so to the walk.
    if (attributes & (kAttrHidden | kAttrSystem)) return;
    const NamedFile* named = index_.byName(name, length);
    if (!named || path_.size() > kLongestPath || index_.coversFile(path_)) return;
    judgePresentFile(env_, path_, named->definition, named->fileName);
  }

  void walkBelow() {
    FolderEntryView e;
    while (!stack_.empty()) {
      pace();
      if (stopped()) {
        stack_.clear();
        return;
      }
      Frame& top = stack_.back();
      if (!top.stream->next(e)) {
        stack_.pop_back();
        continue;
      }
      visit(e.name, e.length, e.attributes, top.length);
    }
  }

  // Gives the message loop its turn once the interval has passed. The clock is read on every
  // sixteenth entry only: reading it costs about as much as the rest of an entry's work.
  void pace() {
    if (interval_.count() > 0 && (++sinceCheck_ & 15) != 0) return;
    const Clock::time_point now = Clock::now();
    if (now - lastYield_ < interval_) return;
    turn();
  }

  void turn() {
    env_.platform.pump.yield();
    lastYield_ = Clock::now();
  }

  ScanEnv& env_;
  DefinitionIndex& index_;
  const Clock::duration interval_;
  const size_t roots_;
  Clock::time_point lastYield_;
  unsigned sinceCheck_ = 0;
  int percent_ = 0;
  std::string path_;
  std::vector<Frame> stack_;
};

}  // namespace

void walkDrives(ScanEnv& env, const std::vector<std::string>& roots, const DriveWalkOptions& options) {
  if (roots.empty() || env.host.scanCancelled()) return;
  DefinitionIndex index(env);
  // Without a file name to look for, no walk can find anything.
  if (index.empty()) return;
  Walker walker(env, index, options, roots.size());
  for (size_t i = 0; i < roots.size() && !env.host.scanCancelled(); ++i) walker.walkRoot(i, roots[i]);
}

std::vector<ListedDrive> listedDrives(Drives& drives, Pump& pump) {
  std::vector<ListedDrive> letters;
  for (const Drive& d : drives.list()) {
    switch (d.type) {
      case DriveType::Removable:
      case DriveType::Network:
      case DriveType::CdRom:
        letters.push_back({d.letter, false});
        break;
      case DriveType::Fixed:
        if (drives.ready(d.letter)) letters.push_back({d.letter, !d.mapped});
        break;
      default:
        break;
    }
    pump.yield();
  }
  return letters;
}


}  // namespace quillon
