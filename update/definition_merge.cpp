#include "update/definition_merge.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/definition_store.h"
#include "definitions/line_reader.h"
#include "definitions/shipped_definitions.h"

namespace quillon {

namespace {

std::string keyOf(const std::string& text) { return text.substr(0, text.find('=')); }

// The enciphered line an ADD body writes. The server sends the fields enciphered and the
// separators plain, so that the fields can be found; the separators are enciphered here.
bool addLine(const std::string& kind, const std::string& body, std::string& line) {
  if (kind == "COOK") {
    line = keyOf(body);
    return true;
  }
  if (kind == "REG") {
    // label "=" threat "|" key part "|" type text; the label is not written.
    std::vector<std::string> parts = split(body, "|");
    if (parts.size() < 3) return false;
    size_t eq = parts[0].find('=');
    std::string threat = eq == std::string::npos ? std::string() : parts[0].substr(eq + 1);
    line = parts[1] + encodeDefinitionLine("^=") + threat + encodeDefinitionLine("|") + parts[2];
    return true;
  }
  line = replaceAll(replaceAll(body, "|", encodeDefinitionLine("|")), "=", encodeDefinitionLine("="));
  return true;
}

bool fail(std::string* problem, std::string why) {
  if (problem) *problem = std::move(why);
  return false;
}

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
    if (buf_.size() >= 256 * 1024) flush();
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

// The lines an update adds to one file, in record order, and those of them the file already
// holds (or an earlier ADD of the same update added): those are not written again.
class Additions {
 public:
  explicit Additions(std::vector<const std::string*> lines) : lines_(std::move(lines)) {
    wanted_.reserve(lines_.size());
    for (const std::string* l : lines_) wanted_.insert(*l);
  }
  // A line of the file as it was.
  void held(std::string_view line) {
    if (wanted_.empty()) return;
    auto it = wanted_.find(line);
    if (it != wanted_.end()) held_.insert(*it);
  }
  // Calls `write` for each line to add that is not held yet; returns how many.
  template <class Write>
  uint32_t each(Write write) {
    uint32_t n = 0;
    for (const std::string* l : lines_)
      if (held_.insert(*l).second) write(*l), ++n;
    return n;
  }

 private:
  std::vector<const std::string*> lines_;
  std::unordered_set<std::string_view> wanted_, held_;
};

class Merge {
 public:
  Merge(FileSystem& fs, Signatures& signatures, const std::string& folder, MergeStatus& status)
      : fs_(fs), signatures_(signatures), folder_(folder), status_(status) {}

  // One file's step: the new file is written beside the old one as its staged copy, which
  // only the commit puts in place. A whole release makes the file from the records alone. False
  // on a file-system error (the staged copy is then gone); `changed` says whether a staged
  // copy was written, and `digest` is then its SHA-256.
  bool stage(const std::string& name, const std::vector<MergeRecord>& records, bool whole, uint32_t& added,
             bool& changed, std::string& digest) {
    changed = false;
    std::vector<const std::string*> lines;
    // The pending deletions, by their key as sent in lower case: a later ADD of that key
    // withdraws them all in one lookup.
    std::unordered_map<std::string, std::vector<std::string>> pending;
    for (const MergeRecord& r : records) {
      if (!kindTargets(r.kind, name)) continue;
      if (r.action == MergeAction::Add) {
        lines.push_back(&r.line);
        if (r.addHasKey) pending.erase(toLower(r.key));
      } else if (r.action == MergeAction::Delete) {
        pending[toLower(r.key)].push_back(r.key);
      }
    }
    status_.show(kApplyingText);
    status_.yield();

    const std::string path = folder_ + "\\" + name, scratch = stagedPath(folder_, name);
    uint32_t attr = fs_.attributes(path);
    if (attr != kNoSuchPath && (attr & kAttrFolder)) return false;
    if (!whole && lines.empty() && pending.empty() && attr != kNoSuchPath) return true;
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
  uint32_t copy(std::unique_ptr<InputFile> in, Additions& additions,
                const std::unordered_map<std::string, std::vector<std::string>>& pending, StagedFile& out) {
    std::unordered_set<std::string> gone;
    gone.reserve(pending.size() * 2);
    for (const auto& entry : pending)
      for (const std::string& p : entry.second) gone.insert(toLower(decodeDefinitionLine(p)));
    const bool removing = !pending.empty();
    long number = 0;
    std::string key;
    auto take = [&](std::string_view line) {
      if (removing) {
        ++number;
        if (++seen_ % 100 == 0) {
          status_.show(kRemovingText + std::to_string(number));
          status_.yield();
        }
        if (line == " ") return;
        // The cipher works byte by byte: the key is deciphered up to its "=" and no further.
        key.clear();
        for (char c : line) {
          const char plain = decodeDefinitionByte(c);
          if (plain == '=') break;
          key += plain >= 'A' && plain <= 'Z' ? char(plain - 'A' + 'a') : plain;
        }
        if (gone.count(key)) return;
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

bool kindTargets(const std::string& kind, const std::string& fileName) {
  if (fileName == kFileDefs) return kind == "FILE" || kind == "DLL" || kind == "EXE";
  if (fileName == kExeDefs) return kind == "EXE";
  if (fileName == kRegistryDefs) return kind == "REG";
  if (fileName == kCookieDefs) return kind == "COOK";
  if (fileName == kDirectoryDefs) return kind == "DIR";
  return false;
}

bool parseDefinitionUpdate(const std::string& text, std::vector<MergeRecord>& records, std::string* problem) {
  records.clear();
  std::vector<MergeRecord> out;
  size_t from = 0;
  for (size_t number = 1;; ++number) {
    size_t at = ifind(text, "[BR]", from);
    // Views into the text: only what a record keeps is copied.
    std::string_view record = std::string_view(text).substr(from, at == std::string::npos ? std::string::npos : at - from);
    while (!record.empty() && record.front() == ' ') record.remove_prefix(1);
    while (!record.empty() && record.back() == ' ') record.remove_suffix(1);
    from = at == std::string::npos ? text.size() : at + 4;
    if (!record.empty()) {
      size_t def = record.find("[DEF]");
      std::string_view header = record.substr(0, def);
      size_t bar = header.find('|');
      MergeRecord r;
      r.kind = decodeDefinitionLine(std::string(header.substr(0, bar)));
      bool known = false;
      for (const char* name : kDefinitionFiles) known = known || kindTargets(r.kind, name);
      if (known) {
        if (def == std::string::npos || bar == std::string::npos)
          return fail(problem, "record " + std::to_string(number) + ": no [DEF] or no action");
        std::string_view action = header.substr(bar + 1);
        action = action.substr(0, action.find('|'));
        const std::string_view body = record.substr(def + 5);
        if (action == "ADD") {
          r.action = MergeAction::Add;
          if (!addLine(r.kind, std::string(body), r.line))
            return fail(problem, "record " + std::to_string(number) + ": registry body with fewer than three parts");
          if (r.line.find_first_of("\r\n") != std::string::npos)
            return fail(problem, "record " + std::to_string(number) + ": the line would hold a line break");
          r.addHasKey = body.find('=') != std::string::npos;
          r.key = std::string(body.substr(0, body.find('=')));
          // Malformed as every reader would take it: as if it had not been sent.
          if (malformedDefinition(r.line)) r = MergeRecord{r.kind};
        } else if (action == "DEL") {
          r.action = MergeAction::Delete;
          r.key = std::string(body.substr(0, body.find('=')));
        }
        out.push_back(std::move(r));
      }
    }
    if (at == std::string::npos) break;
  }
  records = std::move(out);
  return true;
}

std::string stagedPath(const std::string& appFolder, const std::string& name) {
  return appFolder + "\\" + name + kStagedSuffix;
}

namespace {
// The files an update may change, and so the only names a journal may list.
const char* const kUpdated[] = {kFileDefs, kExeDefs, kRegistryDefs, kCookieDefs, kDirectoryDefs, kDateFile};

bool known(const std::string& name) {
  for (const char* n : kUpdated)
    if (name == n) return true;
  return false;
}

bool present(FileSystem& fs, const std::string& path) { return fs.attributes(path) != kNoSuchPath; }

// Puts `from` in place of `to`, trying once more when the first attempt fails (a scan of the
// other program may hold the file for a moment).
bool replaceTwice(FileSystem& fs, const std::string& from, const std::string& to) {
  return fs.replaceFile(from, to) || fs.replaceFile(from, to);
}

void discardScratch(FileSystem& fs, const std::string& folder) {
  for (const char* name : kUpdated) {
    const std::string staged = stagedPath(folder, name);
    if (present(fs, staged)) fs.deleteFile(staged);
  }
  for (const std::string& scratch : {folder + "\\" + kMergeScratch, folder + "\\" + kUpdateJournal + kStagedSuffix})
    if (present(fs, scratch)) fs.deleteFile(scratch);
}

// Puts every staged file the journal names in place; a file already in place has no staged
// copy left. False when one could not be put in place: the journal then stays for next time.
bool commit(FileSystem& fs, const std::string& folder, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    const std::string staged = stagedPath(folder, name);
    // No staged copy: put in place by an earlier attempt at this very journal.
    if (present(fs, staged) && !replaceTwice(fs, staged, folder + "\\" + name) && present(fs, staged)) return false;
  }
  return fs.deleteFile(folder + "\\" + kUpdateJournal) || !present(fs, folder + "\\" + kUpdateJournal);
}
}  // namespace

bool completeInterruptedUpdate(FileSystem& fs, const std::string& appFolder) {
  const std::string journal = appFolder + "\\" + kUpdateJournal;
  if (present(fs, journal)) {
    // The journal is put in place in one step, so it is whole; one that is not what this
    // program writes is no intent of its own and is discarded with the scratch.
    std::string text;
    std::vector<std::string> names;
    bool valid = fs.readAll(journal, text) && text.size() >= 5 && text.compare(text.size() - 5, 5, "end\r\n") == 0;
    if (valid) {
      names = split(text.substr(0, text.size() - 5), "\r\n");
      if (!names.empty() && names.back().empty()) names.pop_back();
      for (const std::string& n : names) valid = valid && known(n);
    }
    if (valid && !commit(fs, appFolder, names)) return false;
    if (!valid && !fs.deleteFile(journal)) return false;
  }
  discardScratch(fs, appFolder);
  return true;
}

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
    discardScratch(fs, appFolder);
    out.problem = why;
    return out;
  };
  std::vector<std::string> digests(files);
  for (size_t i = 0; i < files; ++i) {
    const std::string name = kDefinitionFiles[i];
    uint32_t added = 0;
    bool changed = false;
    // A file-system error gets one more try of that file; a second one ends the update.
    if (!merge.stage(name, records, update.wholeRelease, added, changed, digests[i]) &&
        !merge.stage(name, records, update.wholeRelease, added, changed, digests[i]))
      return giveUp(name + " could not be written");
    count += added;
    if (changed) staged.push_back(name);
    // A file the update leaves alone is part of the result all the same.
    else if (!update.digests.empty() && !fileDigest(fs, signatures, appFolder + "\\" + name, digests[i]))
      return giveUp(name + " could not be read");
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
    if (!present(fs, stagedPath(appFolder, name))) return giveUp("the new files were removed while being written");
  if (!staged.empty()) {
    // The intent, recorded in one step: from here on the update is completed, now or at the
    // next start, and before it nothing has changed.
    std::string journal;
    for (const std::string& name : staged) journal += name + "\r\n";
    journal += "end\r\n";
    const std::string scratch = appFolder + "\\" + kUpdateJournal + kStagedSuffix;
    if (!stageText(fs, signatures, scratch, journal) || !replaceTwice(fs, scratch, appFolder + "\\" + kUpdateJournal))
      return giveUp("the update could not be recorded");
    if (!commit(fs, appFolder, staged)) {
      out.count = count;
      out.pending = true;
      out.problem = "the new definitions could not all be put in place; they will be at the next start";
      return out;
    }
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

bool prepareDefinitions(FileSystem& fs, const std::string& appFolder, DefinitionStore& defs) {
  StoreLockResult taken = StoreLockResult::Failed;
  // Never waited for: a start must not hang on another program's update, and what that program
  // has staged is its own, never scratch to discard.
  std::unique_ptr<StoreLockHold> hold = defs.lock(true, 0, nullptr, taken);
  if (!hold) return false;
  completeInterruptedUpdate(fs, appFolder);
  defs.installDownloaded();
  adoptShippedDefinitions(fs, appFolder);
  return true;
}

}  // namespace quillon
