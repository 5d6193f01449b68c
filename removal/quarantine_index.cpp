// The quarantine's index: its lines, the ids, and the copies no line names.
#include <algorithm>
#include <iterator>
#include <optional>

#include "common/text.h"
#include "removal/kept_copy.h"
#include "removal/quarantine.h"
#include "removal/quarantine_text.h"

namespace quillon {

using namespace quarantine_text;

namespace {

struct RootName {
  uint32_t root;
  const char* name;
};
constexpr RootName kRoots[] = {{0x80000000u, "HKEY_CLASSES_ROOT"},   {0x80000001u, "HKEY_CURRENT_USER"},
                               {0x80000002u, "HKEY_LOCAL_MACHINE"},  {0x80000003u, "HKEY_USERS"},
                               {0x80000005u, "HKEY_CURRENT_CONFIG"}, {0x80000006u, "HKEY_DYN_DATA"}};

constexpr const char* kDigestMark = "sha256:";
constexpr const char* kAttributesMark = "attributes:";
struct AttributeLetter {
  char letter;
  uint32_t bit;
};
constexpr AttributeLetter kAttributeLetters[] = {
    {'R', kAttrReadOnly}, {'H', kAttrHidden}, {'S', kAttrSystem}, {'A', kAttrArchive}};

std::string attributesField(uint32_t attributes) {
  std::string out = kAttributesMark;
  for (const AttributeLetter& l : kAttributeLetters)
    if (attributes & l.bit) out += l.letter;
  return out;
}

// The bits of an attributes field; none when the field is not one.
std::optional<uint32_t> parseAttributes(const std::string& f) {
  const size_t mark = std::char_traits<char>::length(kAttributesMark);
  if (f.compare(0, mark, kAttributesMark) != 0) return std::nullopt;
  uint32_t bits = 0;
  for (size_t i = mark; i < f.size(); ++i) {
    auto l = std::find_if(std::begin(kAttributeLetters), std::end(kAttributeLetters),
                          [&](const AttributeLetter& x) { return x.letter == f[i]; });
    if (l == std::end(kAttributeLetters) || (bits & l->bit)) return std::nullopt;
    bits |= l->bit;
  }
  return bits;
}
constexpr const char* kLastIdMark = "last id\t";

bool parseKind(const std::string& s, QuarantineKind& kind) {
  for (QuarantineKind k : {QuarantineKind::File, QuarantineKind::Folder, QuarantineKind::Cookie, QuarantineKind::Registry})
    if (s == kindName(k)) {
      kind = k;
      return true;
    }
  return false;
}

bool parseWhole(const std::string& s, uint64_t& n) {
  if (s.empty() || s.size() > 19 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  n = std::stoull(s);
  return true;
}

bool isDigestField(const std::string& f) {
  const size_t mark = std::char_traits<char>::length(kDigestMark);
  return f.size() == mark + 64 && f.compare(0, mark, kDigestMark) == 0 &&
         f.find_first_not_of("0123456789abcdef", mark) == std::string::npos;
}

// One line of the index as an entry; false for a line that does not read whole. A cut line with
// no line end of its own swallowed the line written after it: that line is its last fields, and
// its stored name tells where its id begins.
bool parseLine(const std::string& line, QuarantineEntry& e) {
  std::vector<std::string> f = split(line, "\t");
  // Two fields may follow the size, each only when it is there: the digest, then the attributes.
  const std::optional<uint32_t> attributes = f.empty() ? std::nullopt : parseAttributes(f.back());
  const size_t marked = attributes ? 1 : 0;
  const bool digest = f.size() > marked && isDigestField(f[f.size() - 1 - marked]);
  const size_t fields = 6 + (digest ? 1 : 0) + marked;
  const bool joined = f.size() > fields;
  if (joined) f.erase(f.begin(), f.end() - fields);
  if (f.size() != fields) return false;
  const std::string stored = unescapeField(f[4]);
  const size_t dash = idDigits(stored);
  if (dash != std::string::npos && f[0].size() >= dash && f[0].compare(f[0].size() - dash, dash, stored, 0, dash) == 0)
    f[0] = stored.substr(0, dash);
  else if (joined)
    return false;
  uint64_t id = 0;
  if (!parseWhole(f[0], id) || id == 0 || id > uint64_t(kMaxQuarantineId) || !parseKind(f[2], e.kind) ||
      !parseWhole(f[5], e.size) || !insideFolder(stored))
    return false;
  e.id = int64_t(id);
  e.date = unescapeField(f[1]);
  e.original = unescapeField(f[3]);
  e.stored = stored;
  e.kept = digest;
  e.digest = e.kept ? f[6].substr(std::char_traits<char>::length(kDigestMark)) : "";
  e.attributes = attributes;
  return true;
}

std::vector<std::string> physicalLines(const std::string& text) {
  return split(replaceAll(replaceAll(text, "\r\n", "\n"), "\r", "\n"), "\n");
}

// Whether a folder copy holds its files in kept form (one without its index line says so only
// by its files' names).
bool keptInside(FileSystem& fs, const std::string& folder) {
  for (const FolderEntry& e : fs.listFolder(folder)) {
    if (e.attributes & kAttrLink) continue;
    if (e.attributes & kAttrFolder ? keptInside(fs, folder + "\\" + e.name) : hasKeptSuffix(e.name)) return true;
  }
  return false;
}

}  // namespace

namespace quarantine_text {

std::string escapeField(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '%': out += "%25"; break;
      case '\t': out += "%09"; break;
      case '\r': out += "%0D"; break;
      case '\n': out += "%0A"; break;
      default: out += c;
    }
  }
  return out;
}

std::string unescapeField(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const std::string h = s.substr(i + 1, 2);
      if (h == "25" || h == "09" || h == "0D" || h == "0A") {
        out += char(std::stoi(h, nullptr, 16));
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

size_t idDigits(const std::string& name) {
  const size_t digits = name.find_first_not_of("0123456789");
  return digits == 0 || digits == std::string::npos || name[digits] != '-' ? std::string::npos : digits;
}

bool isPartName(const std::string& name) {
  const size_t n = std::char_traits<char>::length(kPartSuffix);
  return idDigits(name) != std::string::npos && name.size() > n && iequals(name.substr(name.size() - n), kPartSuffix);
}

bool insideFolder(const std::string& stored) {
  size_t end = stored.find_last_not_of(". ");
  return end != std::string::npos && stored.find_first_of("\\/:") == std::string::npos;
}

}  // namespace quarantine_text

const char* kindName(QuarantineKind kind) {
  switch (kind) {
    case QuarantineKind::File: return "file";
    case QuarantineKind::Folder: return "folder";
    case QuarantineKind::Cookie: return "cookie";
    case QuarantineKind::Registry: return "registry";
  }
  return "file";
}

std::string registryRootName(uint32_t root) {
  for (const RootName& r : kRoots)
    if (r.root == root) return r.name;
  return "";
}

bool registryRootFromName(const std::string& name, uint32_t& root) {
  for (const RootName& r : kRoots)
    if (iequals(name, r.name)) {
      root = r.root;
      return true;
    }
  return false;
}

int64_t Quarantine::nextId(const std::string& name, bool probe) {
  if (lastId_ < 0) {
    // The index may be gone, cut short or edited by hand: the stored names count as well, and
    // so do the ids of items deleted for good.
    lastId_ = lastIdRecorded();
    for (const QuarantineEntry& e : entries()) lastId_ = std::max(lastId_, e.id);
    for (const FolderEntry& f : fs_.listFolder(folder_)) {
      const size_t digits = idDigits(f.name);
      if (digits == std::string::npos) continue;
      // A number past the last id blocks every later one: nothing more is kept, nothing lost.
      lastId_ = digits > 18 ? kMaxQuarantineId : std::max(lastId_, int64_t(std::stoll(f.name.substr(0, digits))));
    }
  }
  if (!probe) return lastId_ < kMaxQuarantineId ? ++lastId_ : 0;
  // A name taken since (by another run, or by hand) is passed over, never written over.
  for (int tries = 0; tries < 1000 && lastId_ < kMaxQuarantineId; ++tries) {
    const int64_t id = ++lastId_;
    const std::string stored = storedPath(std::to_string(id) + "-" + name);
    if (fs_.attributes(stored) == kNoSuchPath && fs_.attributes(stored + kPartSuffix) == kNoSuchPath) return id;
  }
  return 0;
}

int64_t Quarantine::lastIdRecorded() const {
  std::string text;
  int64_t top = 0;
  if (!fs_.readAll(indexPath(), text)) return top;
  for (const std::string& line : physicalLines(text)) {
    uint64_t n = 0;
    const size_t mark = std::char_traits<char>::length(kLastIdMark);
    if (line.compare(0, mark, kLastIdMark) == 0 && parseWhole(line.substr(mark), n))
      top = std::max(top, int64_t(std::min<uint64_t>(n, uint64_t(kMaxQuarantineId))));
  }
  return top;
}

bool Quarantine::indexEndsWhole(uint64_t& size) {
  // Under the lock nobody else writes the index: once this run has written a line, it knows
  // where the index ends without asking.
  if (last_.indexAfter > 0) {
    size = last_.indexAfter;
    return true;
  }
  const std::string path = indexPath();
  size = 0;
  // Asked only when its size could not be: no index yet is a whole one.
  if (!fs_.fileSize(path, size)) {
    size = 0;
    return fs_.attributes(path) == kNoSuchPath;
  }
  if (size == 0) return true;
  auto in = fs_.openRead(path);
  char lastByte = 0;
  if (!in || !in->seek(size - 1) || in->read(&lastByte, 1) != 1) return false;
  if (lastByte == '\n' || lastByte == '\r') return true;
  // A write cut short (a full disk, a kill) left part of a line: it goes before anything follows.
  std::string text;
  if (!fs_.readAll(path, text)) return false;
  const size_t end = text.find_last_of("\r\n");
  const uint64_t whole = end == std::string::npos ? 0 : end + 1;
  if (!fs_.truncate(path, whole)) return false;
  size = whole;
  return true;
}

bool Quarantine::record(const QuarantineEntry& e) {
  if (!locked()) return false;
  const std::string line = std::to_string(e.id) + "\t" + escapeField(e.date) + "\t" + kindName(e.kind) + "\t" +
                           escapeField(e.original) + "\t" + escapeField(e.stored) + "\t" + std::to_string(e.size) +
                           (e.kept ? "\t" + std::string(kDigestMark) + e.digest : "") +
                           (e.attributes ? "\t" + attributesField(*e.attributes) : "") + LB;
  uint64_t before = 0;
  if (!indexEndsWhole(before)) return false;
  // The append handle writes all of the line or says it did not; only then does the line count.
  if (append(indexPath(), index_, line)) {
    last_ = Last{e.id, e.stored, before, before + line.size(), e.kind == QuarantineKind::Folder};
    return true;
  }
  // Half a line is taken back now; should that fail too, the next write cuts it first.
  fs_.truncate(indexPath(), before);
  last_ = Last{};
  return false;
}

bool Quarantine::withdrawLast() {
  if (last_.id == 0 || !locked()) return false;
  uint64_t size = 0;
  if (!fs_.fileSize(indexPath(), size) || size != last_.indexAfter || !fs_.truncate(indexPath(), last_.indexBefore))
    return false;
  if (last_.folder) fs_.deleteFolderTree(storedPath(last_.stored));
  else fs_.deleteFile(storedPath(last_.stored));
  const uint64_t whole = last_.indexBefore;  // where a whole line ended before this one
  last_ = Last{};
  last_.indexAfter = whole;
  return true;
}

std::vector<QuarantineEntry> Quarantine::entries() const {
  std::vector<QuarantineEntry> out;
  std::string text;
  if (fs_.readAll(indexPath(), text)) {
    // A line that does not read whole (a write cut short) is left out rather than guessed at.
    const std::vector<std::string> lines = physicalLines(text);
    const bool torn = !text.empty() && text.back() != '\n' && text.back() != '\r';
    for (size_t n = 0; n + (torn ? 1 : 0) < lines.size(); ++n) {
      QuarantineEntry e;
      if (parseLine(lines[n], e)) out.push_back(std::move(e));
    }
  }
  addUnindexed(out);
  return out;
}

void Quarantine::addUnindexed(std::vector<QuarantineEntry>& out) const {
  // A copy is kept whatever became of its index line (a lost or edited index): it is listed
  // by its stored name, and a file's place is taken from the log when the log names one place
  // for files of that name.
  std::vector<QuarantineEntry> found;
  std::string log;
  for (const FolderEntry& f : fs_.listFolder(folder_)) {
    const size_t digits = idDigits(f.name);
    if (digits == std::string::npos || digits > 18 || isPartName(f.name)) continue;
    if (std::any_of(out.begin(), out.end(), [&](const QuarantineEntry& e) { return iequals(e.stored, f.name); }))
      continue;
    QuarantineEntry e;
    e.id = std::stoll(f.name.substr(0, digits));
    if (e.id == 0 || !insideFolder(f.name)) continue;
    e.stored = f.name;
    e.size = f.size;
    const std::string name = withoutKeptSuffix(f.name.substr(digits + 1));
    e.kind = (f.attributes & kAttrFolder) ? QuarantineKind::Folder
             : iequals(name, "registry.reg") ? QuarantineKind::Registry
                                            : QuarantineKind::File;
    e.kept = e.kind == QuarantineKind::Folder ? keptInside(fs_, storedPath(f.name)) : hasKeptSuffix(f.name);
    if (e.kind == QuarantineKind::File) {
      if (log.empty()) fs_.readAll(folder_ + "\\" + kQuarantineLog, log);
      const std::string mark = " - File: " + name + LB + " - Location: ";
      for (size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1)) {
        const size_t from = at + mark.size(), end = log.find(LB, from);
        const std::string place = log.substr(from, end == std::string::npos ? std::string::npos : end - from);
        if (e.original.empty() || iequals(e.original, place)) {
          e.original = place;
        } else {
          e.original = "";  // more than one place: none is sure
          break;
        }
      }
    }
    found.push_back(std::move(e));
  }
  std::sort(found.begin(), found.end(), [](const QuarantineEntry& a, const QuarantineEntry& b) { return a.id < b.id; });
  out.insert(out.end(), found.begin(), found.end());
}

bool Quarantine::dropLines(const std::vector<QuarantineEntry>& gone) {
  std::string text;
  if (!fs_.readAll(indexPath(), text)) return fs_.attributes(indexPath()) == kNoSuchPath;
  std::string kept;
  int64_t top = 0;
  for (const std::string& line : physicalLines(text)) {
    uint64_t n = 0;
    const size_t mark = std::char_traits<char>::length(kLastIdMark);
    if (line.compare(0, mark, kLastIdMark) == 0 && parseWhole(line.substr(mark), n)) {
      top = std::max(top, int64_t(std::min<uint64_t>(n, uint64_t(kMaxQuarantineId))));
      continue;
    }
    QuarantineEntry e;
    if (parseLine(line, e)) {
      top = std::max(top, e.id);
      if (std::any_of(gone.begin(), gone.end(),
                      [&](const QuarantineEntry& g) { return g.id == e.id && iequals(g.stored, e.stored); }))
        continue;
    }
    if (!line.empty()) kept += line + LB;
  }
  // The highest id stays known, so that no later item is given the id of one deleted.
  if (top > 0) kept += kLastIdMark + std::to_string(top) + LB;
  // Written beside the index and put in its place in one step: a reader sees all of the old
  // index or all of the new one.
  const std::string fresh = indexPath() + ".new";
  index_.reset();
  last_ = Last{};
  if (fs_.write(fresh, kept, false) && fs_.replaceFile(fresh, indexPath())) return true;
  fs_.deleteFile(fresh);
  return false;
}

}  // namespace quillon
