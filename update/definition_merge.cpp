#include "update/definition_merge.h"

#include <algorithm>
#include <bitset>
#include <iterator>
#include <string_view>
#include <unordered_set>

#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/definition_store.h"
#include "definitions/line_reader.h"

namespace quillon {

namespace {

// Writes a staged file through the one handle made for it, hashing what goes out. Nothing
// reaches the definition file until the whole staged file is written, found on disk exactly as
// written, and put in its place.
class StagedFile {
 public:
  StagedFile(FileSystem& fs, Signatures& signatures, std::string path)
      : fs_(fs), signatures_(signatures), path_(std::move(path)), file_(fs.createNew(path_)),
        hash_(signatures.sha256Stream()) {}
  bool ok() const { return ok_ && file_; }
  void add(const char* data, size_t n) {
    buf_.append(data, n);
    if (buf_.size() >= 1024 * 1024) flush();  // each write is a trip to the system
  }
  void add(const std::string& data) { add(data.data(), data.size()); }
  // Closes the file and reads it back: its size and SHA-256 must be what was written. `digest`
  // is that SHA-256.
  bool finish(std::string& digest) {
    flush();
    if (!file_) return false;
    ok_ = file_->close() && ok_;
    file_.reset();
    digest = hash_->finish();
    uint64_t size = 0;
    std::string onDisk;
    return ok_ && digest.size() == 32 && fs_.fileSize(path_, size) && size == written_ &&
           fileDigest(fs_, signatures_, path_, onDisk) && onDisk == digest;
  }

 private:
  void flush() {
    if (!ok() || buf_.empty()) return;
    hash_->add(buf_);
    written_ += buf_.size();
    ok_ = file_->write(buf_);
    buf_.clear();
  }
  FileSystem& fs_;
  Signatures& signatures_;
  std::string path_;
  std::unique_ptr<NewFile> file_;
  std::unique_ptr<Sha256Stream> hash_;
  std::string buf_;
  uint64_t written_ = 0;
  bool ok_ = true;
};

// Keys compared as the files store them, without deciphering: the cipher gives each stored byte
// one plain byte (0 and 255 both give 194, so 0 is taken as 255), so a letter deciphered to
// upper case is lowered on the stored byte. A line's key ends at its first stored "=".
constexpr char kStoredEquals = char('=' + kCipherKey);
inline char storedKeyByte(char stored) {
  constexpr int kUpperA = 'A' + kCipherKey, kUpperZ = 'Z' + kCipherKey;
  const int c = static_cast<unsigned char>(stored);
  return char(c == 0 ? 255 : c >= kUpperA && c <= kUpperZ ? c + ('a' - 'A') : c);
}

// The keys the standing deletions of one file remove, with a bit filter in front of the set:
// most lines are no deletion's, and the filter says so without building their key.
class Deletions {
 public:
  void add(std::string_view sent) {
    filter_.set(hashOf(sent));
    keys_.insert(keyOf(sent));
  }
  bool empty() const { return keys_.empty(); }
  bool removes(std::string_view line) {
    const std::string_view raw = line.substr(0, line.find(kStoredEquals));
    return filter_.test(hashOf(raw)) && keys_.count(keyOf(raw));
  }

 private:
  static size_t hashOf(std::string_view raw) {
    uint32_t h = 2166136261u;
    for (char c : raw) h = (h ^ static_cast<unsigned char>(storedKeyByte(c))) * 16777619u;
    return h & (kFilterBits - 1);
  }
  const std::string& keyOf(std::string_view raw) {
    key_.resize(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) key_[i] = storedKeyByte(raw[i]);
    return key_;
  }
  static constexpr size_t kFilterBits = size_t(1) << 16;
  std::bitset<kFilterBits> filter_;
  std::unordered_set<std::string> keys_;
  std::string key_;
};

// The lines an update adds to one file, in record order, and those of them the file already
// holds (or an earlier ADD of the same update added): those are not written again. An update
// can add as many lines as the file has, and every line of the file is looked up, so the
// look-up is kept small: a bit filter says at once that most lines are no addition; the
// distinct additions sit in an open table of indexes, with their held marks beside it.
class Additions {
 public:
  explicit Additions(std::vector<const std::string*> lines) : lines_(std::move(lines)) {
    if (lines_.empty()) return;
    size_t size = 16;
    while (size < lines_.size() * 2) size *= 2;
    slots_.assign(size, 0);
    held_.assign(size, false);
    filter_.assign(size * 8, false);
    slotOf_.reserve(lines_.size());
    for (uint32_t i = 0; i < lines_.size(); ++i) {
      const size_t h = hash(*lines_[i]);
      const size_t at = find(*lines_[i], h);
      if (!slots_[at]) slots_[at] = i + 1;
      filter_[h & (filter_.size() - 1)] = true;
      slotOf_.push_back(uint32_t(at));
    }
  }
  // A line of the file as it was.
  void held(std::string_view line) {
    if (lines_.empty()) return;
    const size_t h = hash(line);
    if (!filter_[h & (filter_.size() - 1)]) return;
    const size_t at = find(line, h);
    if (slots_[at]) held_[at] = true;
  }
  // Calls `write` for each line to add that is not held yet; returns how many.
  template <class Write>
  uint32_t each(Write write) {
    uint32_t n = 0;
    for (size_t i = 0; i < lines_.size(); ++i) {
      if (held_[slotOf_[i]]) continue;
      held_[slotOf_[i]] = true;
      write(*lines_[i]);
      ++n;
    }
    return n;
  }

 private:
  static size_t hash(std::string_view line) { return std::hash<std::string_view>()(line); }
  // The slot of `line`, or the free one where it would go.
  size_t find(std::string_view line, size_t h) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = (h >> 7) & mask;; at = (at + 1) & mask)
      if (!slots_[at] || *lines_[slots_[at] - 1] == line) return at;
  }
  std::vector<const std::string*> lines_;
  std::vector<uint32_t> slots_;  // index + 1 into lines_; 0: free
  std::vector<bool> held_, filter_;
  std::vector<uint32_t> slotOf_;  // each line's slot
};

class Merge {
 public:
  Merge(FileSystem& fs, Signatures& signatures, const std::string& folder, MergeStatus& status)
      : fs_(fs), signatures_(signatures), folder_(folder), status_(status) {}

  // One file's step: the new file is written beside the old one as its staged copy, which
  // only the commit puts in place. A whole release makes the file from the records alone. False
  // on a file-system error (the staged copy is then gone); `changed` says whether a staged
  // copy was written. `digest` is the SHA-256 of the file as the update leaves it: the staged
  // copy's, or, when `check` asks for it, the unchanged file's.
  bool stage(size_t file, const std::vector<MergeRecord>& records, bool whole, bool check, uint32_t& added,
             bool& changed, std::string& digest) {
    const std::string name = kDefinitionFiles[file];
    const unsigned bit = 1u << file;
    changed = false;
    std::vector<const std::string*> lines;
    bool deletes = false;
    for (const MergeRecord& r : records) {
      if (!(r.targets & bit)) continue;
      if (r.action == MergeAction::Add) lines.push_back(&r.line);
      deletes = deletes || r.action == MergeAction::Delete;
    }
    // A deletion stands unless a later ADD of its key as sent (in any letter case) withdraws
    // it: seen from the end, the ADDs after it are known when it comes.
    Deletions pending;
    std::unordered_set<std::string> laterAdds;
    for (auto r = records.rbegin(); deletes && r != records.rend(); ++r) {
      if (!(r->targets & bit)) continue;
      if (r->action == MergeAction::Add && r->addHasKey) laterAdds.insert(toLower(r->key));
      if (r->action == MergeAction::Delete && (laterAdds.empty() || !laterAdds.count(toLower(r->key)))) pending.add(r->key);
    }
    status_.show(kApplyingText);
    status_.yield();

    const std::string path = folder_ + "\\" + name, scratch = stagedPath(folder_, name);
    uint32_t attr = fs_.attributes(path);
    if (attr != kNoSuchPath && (attr & kAttrFolder)) return false;
    if (!whole && lines.empty() && pending.empty() && attr != kNoSuchPath) {
      // Part of the result all the same; an empty file needs no opening.
      uint64_t size = 1;
      if (!check) return true;
      if (!fs_.fileSize(path, size) || size > 0) return fileDigest(fs_, signatures_, path, digest);
      digest = signatures_.sha256("");
      return digest.size() == 32;
    }
    std::unique_ptr<InputFile> in;
    if (!whole && attr != kNoSuchPath) {
      in = fs_.openRead(path);
      if (!in) return false;
    }
    // A missing file is made, empty, as appending to it would make it.
    StagedFile out(fs_, signatures_, scratch);
    Additions additions(std::move(lines));
    const uint32_t appended = out.ok() ? copy(std::move(in), additions, pending, out) : 0;
    if (!out.finish(digest)) {
      fs_.deleteFile(scratch);
      return false;
    }
    added = appended + (pending.empty() ? 0 : 1);
    changed = true;
    return true;
  }

 private:
  // Every line of the old file, then the new lines it does not hold yet, each ended by CR LF (a
  // reader sees the old lines as they were: a lone LF stays part of its line). With pending
  // deletions this is the removal pass: lines of one space and lines whose key (deciphered, in
  // any letter case) a deletion names are left out. Returns the lines added.
  uint32_t copy(std::unique_ptr<InputFile> in, Additions& additions, Deletions& pending, StagedFile& out) {
    const bool removing = !pending.empty();
    long number = 0;
    auto take = [&](std::string_view line) {
      if (removing) {
        ++number;
        if (++seen_ % 100 == 0) {
          status_.show(kRemovingText + std::to_string(number));
          status_.yield();
        }
        if (line == " " || pending.removes(line)) return;
      }
      out.add(line.data(), line.size());
      out.add("\r\n", 2);
    };
    if (in) {
      LineReader reader(std::move(in));
      for (std::string_view line; reader.nextView(line);) {
        additions.held(line);
        take(line);
      }
    }
    return additions.each(take);
  }

  FileSystem& fs_;
  Signatures& signatures_;
  const std::string& folder_;
  MergeStatus& status_;
  long seen_ = 0;  // lines read by removal passes over the whole merge
};

}  // namespace
bool fileDigest(FileSystem& fs, Signatures& signatures, const std::string& path, std::string& digest) {
  std::unique_ptr<InputFile> in = fs.openRead(path);
  if (!in) return false;
  std::unique_ptr<Sha256Stream> hash = signatures.sha256Stream();
  std::string chunk(64 * 1024, '\0');
  for (size_t n; (n = in->read(&chunk[0], chunk.size())) > 0;) hash->add(chunk.data(), n);
  digest = hash->finish();
  return digest.size() == 32;
}

namespace {
// A small file staged whole, checked as every staged file is.
bool stageText(FileSystem& fs, Signatures& signatures, const std::string& path, const std::string& text) {
  StagedFile out(fs, signatures, path);
  std::string digest;
  out.add(text);
  if (out.finish(digest)) return true;
  fs.deleteFile(path);
  return false;
}
}  // namespace

MergeOutcome applyDefinitionUpdate(FileSystem& fs, Signatures& signatures, const std::string& appFolder,
                                   const DefinitionUpdate& update, MergeStatus& status) {
  MergeOutcome out;
  // What an earlier run left half done is finished (or discarded) first, so that its scratch
  // is never taken for this update's.
  if (!completeInterruptedUpdate(fs, appFolder)) {
    out.problem = "an earlier update could not be completed";
    return out;
  }
  std::vector<MergeRecord> records;
  if (!parseDefinitionUpdate(update.text, records, &out.problem)) return out;
  // A new date for an update that changes nothing would mark definitions as newer than they are.
  if (!update.newDate.empty() && std::none_of(records.begin(), records.end(),
                                              [](const MergeRecord& r) { return r.action != MergeAction::Other; })) {
    out.problem = "it holds nothing this program can apply";
    return out;
  }
  const size_t files = std::size(kDefinitionFiles);
  if (!update.digests.empty() && update.digests.size() != files) {
    out.problem = "its signed digests do not name the five definition files";
    return out;
  }
  Merge merge(fs, signatures, appFolder, status);
  std::vector<std::string> staged;
  uint32_t count = 0;
  auto giveUp = [&](const std::string& why) {
    discardStaged(fs, appFolder);
    out.problem = why;
    return out;
  };
  std::vector<std::string> digests(files);
  for (size_t i = 0; i < files; ++i) {
    const std::string name = kDefinitionFiles[i];
    uint32_t added = 0;
    bool changed = false;
    const bool check = !update.digests.empty();
    // A file-system error gets one more try of that file; a second one ends the update.
    if (!merge.stage(i, records, update.wholeRelease, check, added, changed, digests[i]) &&
        !merge.stage(i, records, update.wholeRelease, check, added, changed, digests[i]))
      return giveUp(name + " could not be written");
    count += added;
    if (changed) staged.push_back(name);
  }
  for (size_t i = 0; i < update.digests.size(); ++i)
    if (digests[i] != update.digests[i]) {
      out.differs = true;
      return giveUp(std::string(kDefinitionFiles[i]) + " would not be the one its publisher signed");
    }
  if (!update.newDate.empty()) {
    const std::string scratch = stagedPath(appFolder, kDateFile), date = update.newDate + "\r\n";
    if (!stageText(fs, signatures, scratch, date) && !stageText(fs, signatures, scratch, date))
      return giveUp(std::string(kDateFile) + " could not be written");
    staged.push_back(kDateFile);
  }
  // Nobody else writes while the lock is held; a program that does not take it could still
  // discard what it finds without a journal, and what it took is not recorded as done.
  for (const std::string& name : staged)
    if (fs.attributes(stagedPath(appFolder, name)) == kNoSuchPath) return giveUp("the new files were removed while being written");
  // From the journal on, the update is completed, now or at the next start; before it, nothing
  // has changed.
  switch (staged.empty() ? CommitResult::Done : recordAndCommit(fs, appFolder, staged)) {
    case CommitResult::NotRecorded:
      return giveUp("the update could not be recorded");
    case CommitResult::Pending:
      out.count = count;
      out.pending = true;
      out.problem = "the new definitions could not all be put in place; they will be at the next start";
      return out;
    case CommitResult::Done:
      break;
  }
  out.count = count;
  out.landed = true;
  return out;
}

uint32_t mergeDefinitionUpdate(FileSystem& fs, Signatures& signatures, const std::string& appFolder,
                               const std::string& text, MergeStatus& status) {
  DefinitionUpdate update;
  update.text = text;
  const MergeOutcome o = applyDefinitionUpdate(fs, signatures, appFolder, update, status);
  return o.landed || o.pending ? o.count : 0;
}


}  // namespace quillon
