#include "scan/folder_memory.h"

#include <algorithm>
#include <atomic>
#include <cctype>

#include "common/device_names.h"
#include "common/text.h"
#include "definitions/definition_store.h"
#include "scan/registry_scan.h"

namespace quillon {

namespace {

std::atomic<bool> gRemember{true};

// The code-page calls take no longer path than this; a longer one is left to the probe, which
// fails on it as it always has.
constexpr size_t kLongestPath = 259;

bool plainChar(unsigned char c) { return c >= 0x20 && c < 0x7F; }

// The characters no name may hold (wildcards, streams, separators), without a search per character.
bool reservedChar(unsigned char c) {
  switch (c) {
    case '\\': case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|': return true;
    default: return false;
  }
}

// A last name that a listing answers exactly as a probe would: plain ASCII (a byte of a
// double-byte character could be a backslash), no wildcard or stream syntax, no "~" (a short name
// is not in the listing), no trailing dot or blank (the system drops them), no leading blank.
bool plainName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.front() == ' ' || name.back() == '.' || name.back() == ' ')
    return false;
  for (unsigned char c : name)
    if (!plainChar(c) || reservedChar(c) || c == '~') return false;
  return true;
}

// A folder "X:" or "X:\name\..." whose text the system takes name by name as it stands: no "."
// or "..", which would make a folder below one in the text lie elsewhere, no share, no device
// namespace, no wildcards or streams.
bool plainFolder(std::string_view f) {
  if (f.size() < 2 || !std::isalpha(static_cast<unsigned char>(f[0])) || f[1] != ':') return false;
  for (size_t i = 2; i < f.size();) {
    if (f[i] != '\\') return false;
    size_t end = f.find('\\', i + 1);
    if (end == std::string_view::npos) end = f.size();
    const std::string_view name = f.substr(i + 1, end - i - 1);
    if (name.empty() || name == "." || name == "..") return false;
    for (unsigned char c : name)
      if (!plainChar(c) || reservedChar(c)) return false;
    i = end;
  }
  return true;
}

// A key path opened as it is spelt: plain ASCII names, none empty.
bool plainKey(std::string_view k) {
  if (k.empty() || k.front() == '\\' || k.back() == '\\' || k.find("\\\\") != std::string_view::npos) return false;
  return std::all_of(k.begin(), k.end(), [](char c) { return plainChar(static_cast<unsigned char>(c)); });
}

std::string upperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return out;
}

}  // namespace

void rememberFoldersAndKeys(bool on) { gRemember = on; }
bool remembersFoldersAndKeys() { return gRemember; }

// ---- PlaceBook ----------------------------------------------------------------------------------

int* PlaceBook::slot(std::string_view place) {
  uint64_t digest = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : place) digest = (digest ^ c) * 1099511628211ull;
  digest |= 1;  // never the free mark
  if (digests_.empty()) {
    // Twice the places the table may hold, so that a look-up stays short.
    size_t size = 16;
    while (size < 2 * limit_) size *= 2;
    digests_.assign(size, 0);
    meetings_.assign(size, 0);
  }
  const size_t mask = digests_.size() - 1;
  size_t i = size_t(digest) & mask;
  for (; digests_[i] != 0; i = (i + 1) & mask)
    if (digests_[i] == digest) return &meetings_[i];
  if (used_ >= limit_) {
    // Full: what was counted starts again.
    std::fill(digests_.begin(), digests_.end(), 0);
    std::fill(meetings_.begin(), meetings_.end(), 0);
    used_ = 0;
    i = size_t(digest) & mask;
  }
  digests_[i] = digest;
  ++used_;
  return &meetings_[i];
}

int PlaceBook::meet(std::string_view place) {
  int& met = *slot(place);
  return met < 0 ? 0 : ++met;
}

bool PlaceBook::emptyAt(std::string_view place, char separator) const {
  if (empty_.empty()) return false;
  for (;;) {
    if (empty_.count(place)) return true;
    const size_t cut = place.rfind(separator);
    if (cut == std::string_view::npos) return false;
    place = place.substr(0, cut);
  }
}

void PlaceBook::markEmpty(const std::string& place) {
  if (empty_.size() >= limit_) empty_.clear();
  empty_.insert(place);
}

// ---- FolderMemory --------------------------------------------------------------------------------

bool FolderMemory::fileExists(const std::string& path) {
  if (!gRemember || isDevicePath(path)) return quillon::fileExists(fs_, path);
  const size_t cut = path.rfind('\\');
  const Listing* listing = nullptr;
  if (cut == std::string::npos || path.size() > kLongestPath || !plainName(std::string_view(path).substr(cut + 1)))
    return quillon::fileExists(fs_, path);
  bool unsure = false;
  const Name* n = nullptr;
  switch (folderOf(path, cut, listing)) {
    case Known::Nothing: return false;
    case Known::Unknown: return quillon::fileExists(fs_, path);
    case Known::Listed: n = find(*listing, std::string_view(path).substr(cut + 1), unsure);
  }
  if (unsure) return quillon::fileExists(fs_, path);
  return n && plainFileAttributes(n->attributes);
}

bool FolderMemory::folderExists(const std::string& path) {
  const size_t cut = path.rfind('\\');
  const Listing* listing = nullptr;
  if (!gRemember || cut == std::string::npos || path.size() > kLongestPath ||
      !plainName(std::string_view(path).substr(cut + 1)))
    return fs_.folderExists(path);
  bool unsure = false;
  const Name* n = nullptr;
  switch (folderOf(path, cut, listing)) {
    case Known::Nothing: return false;
    case Known::Unknown: return fs_.folderExists(path);
    case Known::Listed: n = find(*listing, std::string_view(path).substr(cut + 1), unsure);
  }
  if (unsure) return fs_.folderExists(path);
  return n && (n->attributes & kAttrFolder);
}

FolderMemory::Known FolderMemory::folderOf(const std::string& path, size_t cut, const Listing*& listing) {
  // One buffer for every line's folder: most are met once, and must cost no allocation.
  std::string& folder = folder_;
  folder.assign(path, 0, cut);
  if (!plainFolder(folder)) return Known::Unknown;
  if (book_.emptyAt(folder, '\\')) return Known::Nothing;
  auto it = listings_.empty() ? listings_.end() : listings_.find(folder);
  if (it != listings_.end()) {
    recent_.splice(recent_.begin(), recent_, it->second.used);
    listing = &it->second;
    return Known::Listed;
  }
  // A folder met once is probed: a listing costs more than one probe, and most folders named
  // once are named only once.
  if (book_.meet(folder) < 2) return Known::Unknown;
  std::vector<FolderEntry> entries;
  switch (fs_.listFolderNames(folder, entries, limits_.entriesPerListing, pump_)) {
    case FolderListing::Listed: break;
    case FolderListing::NoFolder: learnEmpty(folder); return Known::Nothing;
    default: book_.probeOnly(folder); return Known::Unknown;
  }
  Listing kept;
  for (const FolderEntry& e : entries)
    if (plainName(e.name)) kept.names.push_back({upperAscii(e.name), e.attributes});
  std::sort(kept.names.begin(), kept.names.end());
  while (!recent_.empty() && (listings_.size() >= limits_.listings || entries_ + kept.names.size() > limits_.entries)) {
    auto old = listings_.find(recent_.back());
    entries_ -= old->second.names.size();
    book_.forget(old->first);  // counted anew when met again
    listings_.erase(old);
    recent_.pop_back();
  }
  entries_ += kept.names.size();
  recent_.push_front(folder);
  kept.used = recent_.begin();
  listing = &(listings_[folder] = std::move(kept));
  return Known::Listed;
}

void FolderMemory::learnEmpty(const std::string& folder) {
  book_.markEmpty(folder);
  // The folders above are asked only whether they are there: one missing vendor folder then
  // answers the lines of all its products.
  std::vector<FolderEntry> none;
  for (std::string up = folder;;) {
    const size_t cut = up.rfind('\\');
    if (cut == std::string::npos) break;
    up.resize(cut);
    if (book_.markedEmpty(up) || fs_.listFolderNames(up, none, 0) != FolderListing::NoFolder) break;
    book_.markEmpty(up);
  }
}

const FolderMemory::Name* FolderMemory::find(const Listing& l, std::string_view name, bool& unsure) const {
  const Name want{upperAscii(name), 0};
  auto [from, to] = std::equal_range(l.names.begin(), l.names.end(), want);
  if (from == to) return nullptr;
  // Two entries differing only in case (a case-sensitive folder), or a link whose own attributes
  // a probe may read differently: the probe decides.
  unsure = to - from > 1 || (from->attributes & kAttrLink);
  return &*from;
}

// ---- KeyMemory -----------------------------------------------------------------------------------

namespace {
std::string placeOfKey(uint32_t root, const std::string& path) {
  std::string place = std::to_string(root) + ":" + path;
  for (char& c : place)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return place;
}
}  // namespace

KeyMemory::~KeyMemory() = default;

bool KeyMemory::keyExists(uint32_t root, const std::string& path) {
  if (!gRemember || !plainKey(path)) return registryKeyExists(reg_, root, path);
  const std::string place = placeOfKey(root, path);
  if (book_.emptyAt(place, '\\')) return false;
  if (open_.count(place)) return true;
  RegStatus status;
  reg_.openKey(root, path, kRegistryProbeAccess, status);
  if (status == RegStatus::NoKey) learnMissing(root, path, place);
  return status == RegStatus::Ok;
}

bool KeyMemory::valueExists(uint32_t root, const std::string& path, const std::string& name) {
  if (!gRemember || !plainKey(path)) return registryValueExists(reg_, root, path, name);
  const std::string place = placeOfKey(root, path);
  if (book_.emptyAt(place, '\\')) return false;
  RegValue v;
  auto it = open_.find(place);
  if (it != open_.end()) {
    recent_.splice(recent_.begin(), recent_, it->second.used);
  } else if (book_.meet(place) < 2) {
    // Met once: one query, as the probe asks it (opening to keep costs the same).
    const RegStatus s = reg_.queryValue(root, path, name, kRegistryProbeAccess, v);
    if (s == RegStatus::NoKey) learnMissing(root, path, place);
    return s == RegStatus::Ok && isScannedValueType(v.type);
  } else {
    RegStatus status;
    std::unique_ptr<OpenRegistryKey> key = reg_.openKey(root, path, kRegistryProbeAccess, status);
    if (status == RegStatus::NoKey) learnMissing(root, path, place);
    if (status == RegStatus::NoKey) return false;
    if (!key) {
      book_.probeOnly(place);
      return registryValueExists(reg_, root, path, name);
    }
    while (!recent_.empty() && open_.size() >= limits_.listings) {
      book_.forget(recent_.back());
      open_.erase(recent_.back());
      recent_.pop_back();
    }
    recent_.push_front(place);
    it = open_.emplace(place, Open{std::move(key), recent_.begin()}).first;
  }
  return it->second.key->queryValue(name, v) == RegStatus::Ok && isScannedValueType(v.type);
}

void KeyMemory::learnMissing(uint32_t root, const std::string& path, const std::string& place) {
  book_.markEmpty(place);
  // The keys above are asked whether they are there: a missing vendor key answers the lines of
  // all its products.
  for (std::string up = path;;) {
    const size_t cut = up.rfind('\\');
    if (cut == std::string::npos) break;
    up.resize(cut);
    const std::string upPlace = placeOfKey(root, up);
    if (book_.markedEmpty(upPlace)) break;
    RegStatus status;
    reg_.openKey(root, up, kRegistryProbeAccess, status);
    if (status != RegStatus::NoKey) break;
    book_.markEmpty(upPlace);
  }
}

}  // namespace quillon
