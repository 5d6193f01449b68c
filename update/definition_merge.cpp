#include "update/definition_merge.h"

#include "definitions/shipped_definitions.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "definitions/line_reader.h"
#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/definition_store.h"

namespace quillon {

namespace {

// The five files in the order the merge visits them.
const char* const kTargets[] = {kFileDefs, kExeDefs, kRegistryDefs, kCookieDefs, kDirectoryDefs};

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

// Collects the new file in pieces and writes it beside the old one; nothing reaches the
// definition file until the whole scratch file is written and put in its place.
class ScratchWriter {
 public:
  ScratchWriter(FileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
  void add(const std::string& data) {
    buf_ += data;
    if (buf_.size() >= 256 * 1024) flush();
  }
  bool finish() {
    flush();
    return ok_;
  }

 private:
  void flush() {
    if (!ok_ || (started_ && buf_.empty())) return;  // the first flush makes the file, empty or not
    ok_ = fs_.write(path_, buf_, started_);
    started_ = true;
    buf_.clear();
  }
  FileSystem& fs_;
  std::string path_;
  std::string buf_;
  bool started_ = false, ok_ = true;
};

class Merge {
 public:
  Merge(FileSystem& fs, const std::string& folder, MergeStatus& status)
      : fs_(fs), folder_(folder), status_(status) {}

  // One file's step: the new file is written beside the old one as its staged copy, which
  // only the commit puts in place. False on a file-system error (the staged copy is then
  // gone); `changed` says whether a staged copy was written.
  bool stage(const std::string& name, const std::vector<MergeRecord>& records, uint32_t& added, bool& changed) {
    changed = false;
    std::vector<std::string> lines;
    // The pending deletions, by their key as sent in lower case: a later ADD of that key
    // withdraws them all in one lookup.
    std::unordered_map<std::string, std::vector<std::string>> pending;
    for (const MergeRecord& r : records) {
      if (!kindTargets(r.kind, name)) continue;
      if (r.action == MergeAction::Add) {
        lines.push_back(r.line);
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
    if (lines.empty() && pending.empty() && attr != kNoSuchPath) return true;
    std::unique_ptr<InputFile> in;
    if (attr != kNoSuchPath) {
      in = fs_.openRead(path);
      if (!in) return false;
    }
    // A missing file is made, empty, as appending to it would make it.
    ScratchWriter out(fs_, scratch);
    bool ok = pending.empty() ? copyThenAppend(in.get(), lines, out) : copyWithout(std::move(in), lines, pending, out);
    in.reset();
    ok = out.finish() && ok;
    if (!ok) {
      fs_.deleteFile(scratch);
      return false;
    }
    added = uint32_t(lines.size()) + (pending.empty() ? 0 : 1);
    changed = true;
    return true;
  }

 private:
  // The old file byte for byte, then the new lines. A last line without its line end (CR LF or
  // a lone CR; a lone LF is an ordinary character) gets one, so that the first new line does
  // not join it.
  bool copyThenAppend(InputFile* in, const std::vector<std::string>& lines, ScratchWriter& out) {
    std::string tail;  // the last two bytes of the old file
    if (in) {
      std::string chunk(64 * 1024, '\0');
      for (size_t n; (n = in->read(&chunk[0], chunk.size())) > 0;) {
        out.add(chunk.substr(0, n));
        tail = (tail + chunk.substr(n >= 2 ? n - 2 : 0, n >= 2 ? 2 : n));
        tail = tail.substr(tail.size() > 2 ? tail.size() - 2 : 0);
      }
    }
    bool ended = tail.empty() || tail.back() == '\r' || tail == "\r\n";
    if (!ended) out.add("\r\n");
    for (const std::string& line : lines) out.add(line + "\r\n");
    return true;
  }

  // The removal pass: every line of the old file and then the new lines, less lines of one
  // space and lines whose key (deciphered, in any letter case) a pending deletion names.
  bool copyWithout(std::unique_ptr<InputFile> in, const std::vector<std::string>& lines,
                   const std::unordered_map<std::string, std::vector<std::string>>& pending, ScratchWriter& out) {
    std::unordered_set<std::string> gone;
    gone.reserve(pending.size() * 2);
    for (const auto& entry : pending)
      for (const std::string& p : entry.second) gone.insert(toLower(decodeDefinitionLine(p)));
    long number = 0;
    std::string key;
    auto take = [&](const std::string& line) {
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
      out.add(line);
      out.add("\r\n");
    };
    if (in) {
      LineReader reader(std::move(in));
      for (std::string line; reader.next(line);) take(line);
    }
    for (const std::string& line : lines) take(line);
    return true;
  }

  FileSystem& fs_;
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
      for (const char* name : kTargets) known = known || kindTargets(r.kind, name);
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
          if (unencodableByte(decodeDefinitionLine(r.line)) != std::string::npos)
            return fail(problem, "record " + std::to_string(number) + ": the line would hold a line break");
          r.addHasKey = body.find('=') != std::string::npos;
          r.key = std::string(body.substr(0, body.find('=')));
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
    // Gone in between: the other program, starting, completed this very journal.
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

MergeOutcome applyDefinitionUpdate(FileSystem& fs, const std::string& appFolder, const std::string& text,
                                   const std::string& newDate, MergeStatus& status) {
  MergeOutcome out;
  // What an earlier run left half done is finished (or discarded) first, so that its scratch
  // is never taken for this update's.
  if (!completeInterruptedUpdate(fs, appFolder)) {
    out.problem = "an earlier update could not be completed";
    return out;
  }
  std::vector<MergeRecord> records;
  if (!parseDefinitionUpdate(text, records, &out.problem)) return out;
  // A new date for an update that changes nothing would mark definitions as newer than they are.
  if (!newDate.empty() && std::none_of(records.begin(), records.end(),
                                       [](const MergeRecord& r) { return r.action != MergeAction::Other; })) {
    out.problem = "it holds nothing this program can apply";
    return out;
  }
  Merge merge(fs, appFolder, status);
  std::vector<std::string> staged;
  uint32_t count = 0;
  auto giveUp = [&](const std::string& why) {
    discardScratch(fs, appFolder);
    out.problem = why;
    return out;
  };
  for (const char* name : kTargets) {
    uint32_t added = 0;
    bool changed = false;
    // A file-system error gets one more try of that file; a second one ends the update.
    if (!merge.stage(name, records, added, changed) && !merge.stage(name, records, added, changed))
      return giveUp(std::string(name) + " could not be written");
    count += added;
    if (changed) staged.push_back(name);
  }
  if (!newDate.empty()) {
    const std::string scratch = stagedPath(appFolder, kDateFile);
    if (!fs.write(scratch, newDate + "\r\n", false) && !fs.write(scratch, newDate + "\r\n", false))
      return giveUp(std::string(kDateFile) + " could not be written");
    staged.push_back(kDateFile);
  }
  // A program that started meanwhile discards scratch it finds without a journal; what it
  // took is staged again rather than recorded as done.
  for (const std::string& name : staged)
    if (!present(fs, stagedPath(appFolder, name))) return giveUp("the new files were removed while being written");
  if (!staged.empty()) {
    // The intent, recorded in one step: from here on the update is completed, now or at the
    // next start, and before it nothing has changed.
    std::string journal;
    for (const std::string& name : staged) journal += name + "\r\n";
    journal += "end\r\n";
    const std::string scratch = appFolder + "\\" + kUpdateJournal + kStagedSuffix;
    if (!fs.write(scratch, journal, false) || !replaceTwice(fs, scratch, appFolder + "\\" + kUpdateJournal))
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

uint32_t mergeDefinitionUpdate(FileSystem& fs, const std::string& appFolder, const std::string& text,
                               MergeStatus& status) {
  const MergeOutcome o = applyDefinitionUpdate(fs, appFolder, text, "", status);
  return o.landed || o.pending ? o.count : 0;
}

void prepareDefinitions(FileSystem& fs, const std::string& appFolder, DefinitionStore& defs) {
  completeInterruptedUpdate(fs, appFolder);
  defs.installDownloaded();
  adoptShippedDefinitions(fs, appFolder);
}

}  // namespace quillon
