// What a path names rather than how it is spelt, and the operations that must never reach
// through a link: deleting a file or a folder tree, copying a tree. Every handle here is opened
// without following links (FILE_FLAG_OPEN_REPARSE_POINT); what it is, is asked of the handle
// (identity, reparse point, the path the system resolves it to), and a deletion goes through
// the very handle that was asked, so nothing can be put in its place in between.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/win32_platform.h"

namespace quillon::win32 {

namespace {

std::wstring wideOf(const std::string& text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(size_t(n > 0 ? n - 1 : 0), L'\0');
  if (n > 1) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
  return wide;
}

// The program's text for a wide name; false when a character has no form in the code page.
bool narrowOf(const std::wstring& wide, std::string& out) {
  out.clear();
  if (wide.empty()) return true;
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), int(wide.size()), nullptr, 0, nullptr, &lossy);
  if (n <= 0 || lossy) return false;
  out.resize(size_t(n));
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), int(wide.size()), out.data(), n, nullptr, &lossy);
  return !lossy;
}

// The "\\?\" form that reaches any depth and takes the names as they are.
std::wstring rawPath(const std::wstring& canonical) {
  if (canonical.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + canonical.substr(2);
  return L"\\\\?\\" + canonical;
}

// A path without the "\\?\" or "\\?\UNC\" the system puts before final paths.
std::wstring plainPath(const std::wstring& path) {
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
  return path;
}

bool sameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// The folder holding `path`, a full path in lexicalFullPath's form; "" for a drive root or a
// share.
std::wstring parentOf(const std::wstring& path) {
  const size_t cut = path.find_last_of(L'\\');
  if (path.compare(0, 2, L"\\\\") == 0) {
    // "\\server\share" is the root of a share: its backslashes are the first three.
    size_t third = path.find(L'\\', path.find(L'\\', 2) + 1);
    return third == std::wstring::npos ? L"" : path.substr(0, cut);
  }
  if (path.size() <= 3 || cut == std::wstring::npos) return L"";
  return path.substr(0, cut == 2 ? 3 : cut);
}

// The long form of a full path: every short name of the part that exists expanded.
std::wstring longForm(const std::wstring& full) {
  // Every short name the system makes has a "~": a path without one has nothing to expand, and
  // the lookup of each of its names (a directory search apiece) is saved.
  if (full.find(L'~') == std::wstring::npos) return full;
  std::wstring head = full, rest;
  while (!head.empty()) {
    DWORD n = GetLongPathNameW(head.c_str(), nullptr, 0);
    if (n > 0) {
      std::wstring buf(n, L'\0');
      n = GetLongPathNameW(head.c_str(), buf.data(), n);
      if (n > 0 && n < buf.size()) {
        buf.resize(n);
        if (!rest.empty() && buf.back() == L'\\') buf.pop_back();
        return buf + rest;
      }
    }
    const std::wstring up = parentOf(head);
    if (up.empty()) break;
    rest = head.substr(head.find_last_of(L'\\')) + rest;
    head = up;
  }
  return full;  // nothing of it exists: it stays as it is
}

// Opens what `canonical` names itself, never what a link there points to. Others may read and
// write it meanwhile (unless `share` says otherwise), but not rename or delete it.
HANDLE openNoFollow(const std::wstring& canonical, DWORD access, DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE) {
  return CreateFileW(rawPath(canonical).c_str(), access | FILE_READ_ATTRIBUTES | SYNCHRONIZE, share, nullptr,
                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

std::wstring finalPathOf(void* handle) {
  HANDLE h = static_cast<HANDLE>(handle);
  wchar_t small[MAX_PATH + 1];
  DWORD n = GetFinalPathNameByHandleW(h, small, MAX_PATH + 1, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  std::wstring finalPath;
  if (n > 0 && n <= MAX_PATH) {
    finalPath.assign(small, n);
  } else if (n > MAX_PATH) {
    finalPath.resize(n);
    n = GetFinalPathNameByHandleW(h, finalPath.data(), n, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    finalPath.resize(n < finalPath.size() ? n : 0);
  }
  return plainPath(finalPath);
}

std::string finalPathText(void* handle) {
  std::string out;
  if (!narrowOf(finalPathOf(handle), out)) return "";
  return lexicalFullPath(out);
}

namespace {

struct HandleFacts {
  PathFacts facts;
  DWORD attributes = 0;
  bool reparse = false;   // the handle is on a reparse point itself
  bool elsewhere = true;  // the system resolves it to a path other than `canonical`
  bool looked = false;    // the system said what the handle is on
};

// What the handle is on. The identity is asked only when `identity` is set: under Wine it is the
// dearest part by far (the volume's serial number is a round trip to the mount manager), and a
// caller that goes on through the same handle needs none.
HandleFacts factsOf(HANDLE h, const std::wstring& canonical, bool identity = true) {
  HandleFacts f;
  // The basic information carries the reparse-point bit as well; under Wine it is answered
  // from the file itself, where the attribute-and-tag query is a round trip to the Wine server
  // (0.05 to 0.1 ms, a third of a hold).
  FILE_BASIC_INFO basic{};
  if (identity) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info)) {
      f.attributes = info.dwFileAttributes;
      f.facts.identity = {info.dwVolumeSerialNumber, (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow, true};
    }
  }
  const bool based = !f.facts.identity.known && GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) != 0;
  if (based) f.attributes = basic.FileAttributes;
  f.looked = f.facts.identity.known || based;
  f.facts.folder = (f.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  f.facts.attributes = f.attributes;
  f.reparse = (f.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  const std::wstring finalPath = finalPathOf(h);
  // A path the system cannot resolve is taken as leading elsewhere: nothing goes through it.
  f.elsewhere = finalPath.empty() || !sameText(finalPath, canonical);
  f.facts.link = f.reparse || f.elsewhere;
  std::string narrow;
  if (!finalPath.empty() && narrowOf(finalPath, narrow)) f.facts.finalPath = lexicalFullPath(narrow);
  return f;
}

bool sameIdentity(const PathFacts& facts, const FileIdentity& expected) {
  return !expected.known || facts.identity == expected;
}

// Deletes through `h`, opened with DELETE; a read-only file is made writable first, and left as
// it was when the deletion is refused.
bool deleteThrough(HANDLE h, DWORD attributes) {
  const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = (attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)) ? (attributes & ~DWORD(FILE_ATTRIBUTE_READONLY))
                                                                           : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic)) return false;
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition)) return true;
  if (readOnly) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = attributes;
    SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic);
  }
  return false;
}

constexpr DWORD kDeleteAccess = DELETE | FILE_WRITE_ATTRIBUTES;

// A link whose handle is on the link itself goes as the link: opened again for deletion, it must
// still be the one looked at.
bool deleteLinkItself(const std::wstring& path, const HandleFacts& looked) {
  Handle link(openNoFollow(path, kDeleteAccess));
  return link.ok() && factsOf(link.get(), path).facts.identity == looked.facts.identity &&
         deleteThrough(link.get(), looked.attributes);
}

// A folder's contents, then the folder. A link inside is removed as the link when the handle is
// on the link itself; one the system resolves elsewhere (the target would be what goes) stays,
// and so does the folder. The folder is opened for deletion only once it is empty (a handle
// with delete access would keep it from being listed), and goes only when it is still the one
// whose identity was taken, and no link.
bool deleteTreeOf(const std::wstring& folder, const FileIdentity& identity) {
  bool ok = true;
  WIN32_FIND_DATAW fd;
  FindHandle find(FindFirstFileW((rawPath(folder) + L"\\*").c_str(), &fd));
  if (!find) return false;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring child = folder + L"\\" + name;
    // A file is opened to go sharing nothing: one that another program has open stays whole
    // (and the folder with it), never marked to vanish later when that program lets go.
    const bool isFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    Handle c(openNoFollow(child, isFolder ? 0 : kDeleteAccess, isFolder ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0));
    if (!c.ok()) {
      ok = false;
      continue;
    }
    // A plain file goes through the handle it was looked at with and needs no identity; a
    // folder's is checked when it is opened again to go, and a link's when it goes as itself.
    const bool plainFile = !(fd.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    const HandleFacts f = factsOf(c.get(), child, !plainFile);
    if (f.reparse && !f.elsewhere) {
      c.close();
      ok = deleteLinkItself(child, f) && ok;
    } else if (f.facts.link) {
      ok = false;
    } else if (f.facts.folder) {
      c.close();
      ok = deleteTreeOf(child, f.facts.identity) && ok;
    } else {
      ok = deleteThrough(c.get(), f.attributes) && ok;
    }
  } while (FindNextFileW(find, &fd));
  find.close();
  if (!ok) return false;
  Handle h(openNoFollow(folder, kDeleteAccess));
  if (!h.ok()) return false;
  const HandleFacts f = factsOf(h.get(), folder);
  return f.facts.folder && !f.facts.link && f.facts.identity == identity && deleteThrough(h.get(), f.attributes);
}

bool deleteTreeChecked(const std::string& path, const FileIdentity& expected) {
  std::string canonical = lexicalFullPath(path);
  // Only a folder below a drive root or share: never a whole drive.
  if (canonical.empty() || canonical.size() <= 3) return false;
  const std::wstring wide = wideOf(canonical);
  HandleFacts f;
  {
    Handle h(openNoFollow(wide, 0));
    if (!h.ok()) return false;
    f = factsOf(h.get(), wide);
  }
  if (!f.facts.folder || !sameIdentity(f.facts, expected)) return false;
  // A folder that is itself a link goes as the link, never what it points to.
  if (f.reparse && !f.elsewhere) return deleteLinkItself(wide, f);
  if (f.facts.link) return false;
  return deleteTreeOf(wide, f.facts.identity);
}

bool copyTreeW(const std::wstring& from, const std::wstring& to) {
  if (!CreateDirectoryW(rawPath(to).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  bool ok = true;
  WIN32_FIND_DATAW fd;
  FindHandle h(FindFirstFileW((rawPath(from) + L"\\*").c_str(), &fd));
  if (!h) return false;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;  // a link leads elsewhere
    const std::wstring source = from + L"\\" + name, target = to + L"\\" + name;
    {
      // Some links carry no mark in a listing: the system resolving the name elsewhere tells.
      Handle s(openNoFollow(source, 0));
      if (!s.ok()) {
        ok = false;
        continue;
      }
      if (factsOf(s.get(), source).facts.link) continue;
    }
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = copyTreeW(source, target) && ok;
    } else {
      // A read-only copy from an earlier quarantine would refuse to be overwritten.
      DWORD old = GetFileAttributesW(rawPath(target).c_str());
      if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(rawPath(target).c_str(), old & ~DWORD(FILE_ATTRIBUTE_READONLY));
      ok = CopyFileW(rawPath(source).c_str(), rawPath(target).c_str(), FALSE) && ok;
    }
  } while (FindNextFileW(h, &fd));
  return ok;
}

}  // namespace

std::string Win32FileSystem::canonicalPath(const std::string& path) {
  const std::string lexical = lexicalFullPath(path);
  if (lexical.empty()) return "";
  std::string out;
  if (!narrowOf(longForm(wideOf(lexical)), out)) return "";
  return out;
}

bool Win32FileSystem::examine(const std::string& path, PathFacts& facts) {
  facts = PathFacts{};
  const std::string canonical = canonicalPath(path);
  if (canonical.empty()) return false;
  const std::wstring wide = wideOf(canonical);
  Handle h(openNoFollow(wide, 0));
  if (!h.ok()) return false;
  facts = factsOf(h.get(), wide).facts;
  return facts.identity.known;
}

bool Win32FileSystem::systemProtectsFile(const std::string& path) {
  using IsFileProtected = BOOL(WINAPI*)(HANDLE, LPCWSTR);
  static const auto isProtected = reinterpret_cast<IsFileProtected>(protectionExport("SfcIsFileProtected"));
  const std::string canonical = canonicalPath(path);
  return isProtected && !canonical.empty() && isProtected(nullptr, wideOf(canonical).c_str());
}

bool Win32FileSystem::deleteFile(const std::string& path) { return deleteFileChecked(path, FileIdentity{}); }

bool Win32FileSystem::deleteFileChecked(const std::string& path, const FileIdentity& expected) {
  const std::string canonical = canonicalPath(path);
  if (canonical.empty()) return false;
  const std::wstring wide = wideOf(canonical);
  Handle h(openNoFollow(wide, kDeleteAccess));
  if (!h.ok()) return false;
  const HandleFacts f = factsOf(h.get(), wide, expected.known);
  if (!f.looked || f.facts.folder || f.facts.link || !sameIdentity(f.facts, expected)) return false;
  return deleteThrough(h.get(), f.attributes);
}

namespace {

// The handle of holdFile, opened for reading and deletion and shared with nobody.
class Win32HeldFile : public HeldFile {
 public:
  Win32HeldFile(Handle h, const HandleFacts& f) : h_(std::move(h)), attributes_(f.attributes) { facts_ = f.facts; }
  size_t read(char* buf, size_t n) override {
    DWORD got = 0;
    return ReadFile(h_.get(), buf, DWORD(std::min<size_t>(n, 1u << 30)), &got, nullptr) ? got : 0;
  }
  bool seek(uint64_t position) override {
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(position);
    return SetFilePointerEx(h_.get(), to, nullptr, FILE_BEGIN) != 0;
  }
  bool deleteNow() override { return !facts_.folder && !facts_.link && deleteThrough(h_.get(), attributes_); }

 private:
  Handle h_;
  DWORD attributes_;
};

class Win32HeldPlace : public HeldPlace {
 public:
  Win32HeldPlace(Handle h, const PathFacts& f) : h_(std::move(h)) { facts_ = f; }

 private:
  Handle h_;
};

}  // namespace

std::unique_ptr<HeldFile> Win32FileSystem::holdFile(const std::string& path, HoldFailure* why, uint32_t inUseWaitMs) {
  auto fail = [why](HoldFailure failure) {
    if (why) *why = failure;
    return nullptr;
  };
  const std::string canonical = canonicalPath(path);
  if (canonical.empty()) return fail(HoldFailure::Refused);
  const std::wstring wide = wideOf(canonical);
  // Sharing nothing, the open fails at once while any other program has the file open, rather
  // than mark it to go when that program lets go (when its copy may long be gone).
  const ULONGLONG deadline = GetTickCount64() + inUseWaitMs;
  Handle h;
  for (;;) {
    HANDLE raw = openNoFollow(wide, kDeleteAccess | FILE_READ_DATA, 0);
    const DWORD error = GetLastError();
    h.reset(raw);
    if (h.ok()) break;
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return fail(HoldFailure::Absent);
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) return fail(HoldFailure::Refused);
    if (GetTickCount64() >= deadline) return fail(HoldFailure::InUse);
    Sleep(10);
  }
  const HandleFacts f = factsOf(h.get(), wide, false);
  if (!f.looked) return fail(HoldFailure::Refused);
  if (why) *why = HoldFailure::None;
  return std::make_unique<Win32HeldFile>(std::move(h), f);
}

std::unique_ptr<HeldPlace> Win32FileSystem::holdPlace(const std::string& path) {
  const std::string canonical = canonicalPath(path);
  if (canonical.empty()) return nullptr;
  const std::wstring wide = wideOf(canonical);
  Handle h(openNoFollow(wide, 0));
  if (!h.ok()) return nullptr;
  const HandleFacts f = factsOf(h.get(), wide, false);
  if (!f.looked) return nullptr;
  return std::make_unique<Win32HeldPlace>(std::move(h), f.facts);
}

bool setKeptAttributes(void* handle, uint32_t current, uint32_t wanted) {
  FILE_BASIC_INFO basic{};  // times left at 0 stay as they are
  basic.FileAttributes = (current & ~(kKeptAttributes | FILE_ATTRIBUTE_NORMAL)) | (wanted & kKeptAttributes);
  // No bits at all would mean "leave them": a file with none says so.
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(static_cast<HANDLE>(handle), FileBasicInfo, &basic, sizeof basic) != 0;
}

bool renameThrough(void* handle, const std::string& to) {
  // The name in the system's own form: the call takes it as it is on some systems and converts
  // a drive path on others, and both read this one the same way.
  const std::wstring name = L"\\??\\" + wideOf(to);
  std::vector<char> buf(offsetof(FILE_RENAME_INFO, FileName) + (name.size() + 1) * sizeof(wchar_t), 0);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
  info->ReplaceIfExists = FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = DWORD(name.size() * sizeof(wchar_t));
  std::memcpy(info->FileName, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
  return SetFileInformationByHandle(static_cast<HANDLE>(handle), FileRenameInfo, info, DWORD(buf.size())) != 0;
}

bool Win32FileSystem::setAttributes(const std::string& path, uint32_t attributes) {
  const std::string canonical = canonicalPath(path);
  if (canonical.empty()) return false;
  const std::wstring wide = wideOf(canonical);
  Handle h(openNoFollow(wide, FILE_WRITE_ATTRIBUTES));
  if (!h.ok()) return false;
  const HandleFacts f = factsOf(h.get(), wide, false);
  return f.looked && !f.facts.link && setKeptAttributes(h.get(), f.attributes, attributes);
}

bool Win32FileSystem::deleteFolderTree(const std::string& path) { return deleteTreeChecked(path, FileIdentity{}); }

bool Win32FileSystem::deleteFolderTreeChecked(const std::string& path, const FileIdentity& expected) {
  return deleteTreeChecked(canonicalPath(path), expected);
}

bool Win32FileSystem::copyFolderTree(const std::string& from, const std::string& to) {
  const std::string source = canonicalPath(from), target = canonicalPath(to);
  if (source.size() <= 3 || target.size() <= 3) return false;
  const std::wstring wideSource = wideOf(source), wideTarget = wideOf(target);
  PathFacts s;
  if (!examine(source, s) || !s.folder || s.link) return false;
  // A copy into its own inside would grow for ever: no folder on the target's way down may be
  // the source, however either is spelt.
  for (std::wstring up = wideTarget; !up.empty(); up = parentOf(up)) {
    std::string narrow;
    PathFacts a;
    if (sameText(up, wideSource) || (narrowOf(up, narrow) && examine(narrow, a) && a.identity == s.identity))
      return false;
  }
  return copyTreeW(wideSource, wideTarget);
}

}  // namespace quillon::win32
