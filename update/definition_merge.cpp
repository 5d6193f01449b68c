#include "update/definition_merge.h"

#include <unordered_map>
#include <unordered_set>

#include "common/line_reader.h"
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
    if (!ok_ || (started_ && buf_.empty())) return;
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

  // One file's step; false on a file-system error, with the file left as it was.
  bool applyTo(const std::string& name, const std::vector<MergeRecord>& records, uint32_t& added) {
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

    const std::string path = folder_ + "\\" + name, scratch = folder_ + "\\" + kMergeScratch;
    uint32_t attr = fs_.attributes(path);
    if (attr != kNoSuchPath && (attr & kAttrFolder)) return false;
    if (lines.empty() && pending.empty()) {
      // Nothing to change; a missing file is made, empty, as appending to it would.
      return attr != kNoSuchPath || fs_.write(path, "", false);
    }
    std::unique_ptr<InputFile> in;
    if (attr != kNoSuchPath) {
      in = fs_.openRead(path);
      if (!in) return false;
    }
    ScratchWriter out(fs_, scratch);
    bool ok = pending.empty() ? copyThenAppend(in.get(), lines, out) : copyWithout(std::move(in), lines, pending, out);
    in.reset();  // an open file cannot be replaced on Windows
    ok = out.finish() && ok;
    if (!ok || !fs_.replaceFile(scratch, path)) {
      fs_.deleteFile(scratch);
      return false;
    }
    added = uint32_t(lines.size()) + (pending.empty() ? 0 : 1);
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

uint32_t mergeDefinitionUpdate(FileSystem& fs, const std::string& appFolder, const std::string& text,
                               MergeStatus& status) {
  std::vector<MergeRecord> records;
  if (!parseDefinitionUpdate(text, records)) return 0;
  Merge merge(fs, appFolder, status);
  uint32_t count = 0;
  int errors = 0;
  for (const char* name : kTargets) {
    for (;;) {
      uint32_t added = 0;
      if (merge.applyTo(name, records, added)) {
        count += added;
        break;
      }
      if (++errors > 1) return count;
    }
  }
  return count;
}

}  // namespace quillon
