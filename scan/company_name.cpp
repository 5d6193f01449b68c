#include "scan/company_name.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>

#include "common/text.h"

namespace quillon {

namespace {
// The 16-bit form of a text: a zero byte before each character.
std::string wide(const char* s) {
  std::string w;
  for (; *s; ++s) {
    w.push_back('\0');
    w.push_back(*s);
  }
  return w;
}

const std::string kInfoW = wide("StringFileInfo"), kCompanyW = wide("CompanyName"),
                  kNextW = wide("FileDescription");
const std::string kInfo = "StringFileInfo", kCompany = "CompanyName", kNext = "FileDescription";
constexpr size_t kWideOffset = 26, kNarrowOffset = 12;

// The value starting at `start`: up to the next three NULs (or the end, or `max` bytes), then
// without its NULs. When it runs into the next field's name, only its first printable run.
std::string valueAt(std::string_view bytes, size_t start, std::string_view next, size_t max) {
  const auto npos = std::string_view::npos;
  if (start >= bytes.size()) return "";
  size_t end = bytes.find(std::string_view("\0\0\0", 3), start);
  std::string value(bytes.substr(start, std::min(end == npos ? npos : end - start, max)));
  if (value.find(next) != npos) {
    size_t limit = std::min(bytes.size(), start + 255);
    size_t stop = start;
    while (stop < limit && static_cast<unsigned char>(bytes[stop]) >= 32) ++stop;
    value = bytes.substr(start, stop - start);
  }
  value.erase(std::remove(value.begin(), value.end(), '\0'), value.end());
  return value;
}

constexpr uint64_t kNone = UINT64_MAX;

// Where the patterns first occur, fed one candidate byte at a time in file order. Every pattern
// has a key byte, 'S' (StringFileInfo) or 'C' (CompanyName), at a fixed place: one scan for
// those two bytes replaces a search per pattern. Neither name holds the other's key byte, so
// a pattern that follows an anchor never overlaps it and is always fed after it.
struct Occurrences {
  uint64_t infoW = kNone, info = kNone, company = kNone, companyW = kNone;
  uint64_t companyWAfterInfoW = kNone, companyAfterInfo = kNone, companyWAfterInfo = kNone;

  static bool at(std::string_view w, size_t start, const std::string& pattern) {
    return start + pattern.size() <= w.size() && std::memcmp(w.data() + start, pattern.data(), pattern.size()) == 0;
  }
  static void first(uint64_t& slot, uint64_t position) {
    if (slot == kNone) slot = position;
  }
  static void firstAfter(uint64_t& slot, uint64_t anchor, uint64_t position) {
    if (slot == kNone && anchor != kNone && position >= anchor) slot = position;
  }
  // The byte at w[i] (file position base + i) is 'S' or 'C'. A wide pattern starts one byte
  // before its key byte. Occurrences seen again in the overlap change nothing.
  void candidate(std::string_view w, size_t i, uint64_t base) {
    const uint64_t here = base + i, before = here - 1;
    if (w[i] == 'S') {
      if (at(w, i, kInfo)) first(info, here);
      if (i > 0 && at(w, i - 1, kInfoW)) first(infoW, before);
    } else {
      if (at(w, i, kCompany)) {
        first(company, here);
        firstAfter(companyAfterInfo, info, here);
      }
      if (i > 0 && at(w, i - 1, kCompanyW)) {
        first(companyW, before);
        firstAfter(companyWAfterInfoW, infoW, before);
        firstAfter(companyWAfterInfo, info, before);
      }
    }
  }
};

// Feeds every 'S' and 'C' of `w` in order, testing eight bytes at a time for either.
void scanPiece(std::string_view w, uint64_t base, Occurrences& o) {
  constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
  const char* p = w.data();
  const size_t n = w.size();
  for (size_t i = 0; i < n;) {
    if (i + 8 <= n) {
      uint64_t v;
      std::memcpy(&v, p + i, 8);
      const uint64_t s = v ^ (ones * 'S'), c = v ^ (ones * 'C');
      if (!((((s - ones) & ~s) | ((c - ones) & ~c)) & highs)) {  // no zero byte in either
        i += 8;
        continue;
      }
    }
    for (const size_t e = std::min(n, i + 8); i < e; ++i)
      if (p[i] == 'S' || p[i] == 'C') o.candidate(w, i, base);
  }
}

// Reads until `n` bytes are appended or the stream ends.
size_t readFull(InputFile& in, std::string& into, size_t n) {
  const size_t old = into.size();
  into.resize(old + n);
  size_t got = 0;
  for (size_t r; got < n && (r = in.read(&into[old + got], n - got)) > 0;) got += r;
  into.resize(old + got);
  return got;
}
}  // namespace

std::string companyNameFromBytes(const std::string& bytes) {
  const auto npos = std::string::npos;
  size_t p = bytes.find(kInfoW);
  size_t q = npos, offset = kWideOffset;
  const std::string* next = &kNextW;
  if (p == npos) {
    p = bytes.find(kInfo);
    if (p == npos) p = 0;
    q = bytes.find(kCompany, p);
    offset = kNarrowOffset;
    next = &kNext;
  }
  if (q == npos) {
    q = bytes.find(kCompanyW, p);
    offset = kWideOffset;
    next = &kNextW;
  }
  if (q == npos) return "";
  return valueAt(bytes, q + offset, *next, npos);
}

std::string companyNameFromStream(InputFile& in, size_t chunk) {
  // Every position the in-memory search can end up using, found in one forward pass. Each
  // piece is searched together with the last (longest pattern - 1) bytes before it, so an
  // occurrence split between two pieces is still found whole.
  Occurrences o;
  const size_t keep = kInfoW.size() - 1;
  chunk = std::max<size_t>(chunk, 1);
  std::string window;
  window.reserve(keep + chunk);
  uint64_t base = 0;  // file position of window[0]
  while (readFull(in, window, chunk) > 0) {
    scanPiece(window, base, o);
    if (o.companyWAfterInfoW != kNone) break;  // nothing later can change the answer
    if (window.size() > keep) {
      base += window.size() - keep;
      window.erase(0, window.size() - keep);
    }
  }

  uint64_t q = kNone, offset = kWideOffset;
  const std::string* next = &kNextW;
  if (o.infoW != kNone) {
    q = o.companyWAfterInfoW;
  } else {
    q = o.info != kNone ? o.companyAfterInfo : o.company;
    offset = kNarrowOffset;
    next = &kNext;
    if (q == kNone) {
      q = o.info != kNone ? o.companyWAfterInfo : o.companyW;
      offset = kWideOffset;
      next = &kNextW;
    }
  }
  if (q == kNone || !in.seek(q + offset)) return "";
  // Two bytes more than the limit, so that three NULs starting just before it still end the
  // value where the whole-file search would.
  std::string value;
  readFull(in, value, kCompanyValueMax + 2);
  return valueAt(value, 0, *next, kCompanyValueMax);
}

std::string readCompanyName(FileSystem& fs, const std::string& path) {
  std::unique_ptr<InputFile> in = fs.openRead(path);
  if (!in) return "";
  return companyNameFromStream(*in);
}

namespace {
// What the system runs or loads: images by their usual extensions (for a file that cannot be
// read) and scripts, which carry no mark of their own.
const char* const kImageExtensions[] = {"EXE", "DLL", "SYS", "OCX", "DRV", "CPL", "SCR", "AX", "EFI", "MUI"};
const char* const kScriptExtensions[] = {"COM", "PIF", "BAT", "CMD", "VBS", "VBE", "JS",
                                         "JSE", "WSF", "WSH", "PS1", "HTA", "MSC"};

bool hasExtension(const std::string& path, const char* const* list, size_t count) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || path.find('\\', dot) != std::string::npos) return false;
  const std::string ext = path.substr(dot + 1);
  for (size_t i = 0; i < count; ++i)
    if (iequals(ext, list[i])) return true;
  return false;
}
}  // namespace

FileLook lookByName(const std::string& path) {
  FileLook look;
  look.program = hasExtension(path, kScriptExtensions, std::size(kScriptExtensions)) ||
                 hasExtension(path, kImageExtensions, std::size(kImageExtensions));
  return look;
}

FileLook lookThrough(InputFile& in, const std::string& path) {
  FileLook look;
  look.opened = true;
  char head[2] = {0, 0};
  size_t got = 0;
  for (size_t r; got < 2 && (r = in.read(head + got, 2 - got)) > 0;) got += r;
  const bool image = got == 2 && head[0] == 'M' && head[1] == 'Z';
  look.program = image || hasExtension(path, kScriptExtensions, std::size(kScriptExtensions));
  // Only an image carries version information: the other files are not read through (the
  // removal looks at every file it holds).
  if (image && in.seek(0)) look.company = companyNameFromStream(in);
  return look;
}

FileLook lookAtFile(FileSystem& fs, const std::string& path, bool wantFinalPath) {
  std::unique_ptr<InputFile> in = fs.openRead(path);
  if (!in) return lookByName(path);
  FileLook look = lookThrough(*in, path);
  if (wantFinalPath) look.finalPath = in->finalPath();
  return look;
}

bool isSystemPublisher(const std::string& company) { return iequals(trim(company), "Microsoft Corporation"); }

}  // namespace quillon
