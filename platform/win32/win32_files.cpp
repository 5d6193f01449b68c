// The file system on the Win32 API: reading, writing and listing by path, files made and kept
// open for writing, and the locks of shared stores. What a path names (identity, links, holds
// and checked deletion) is in win32_identity.cpp.
#include "platform/win32/win32_platform.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "common/text.h"
#include "platform/win32/handles.h"

namespace quillon::win32 {

namespace {
// True when every byte went out.
bool writeAll(HANDLE h, const std::string& data) {
  DWORD put = 0;
  return data.empty() || (WriteFile(h, data.data(), DWORD(data.size()), &put, nullptr) && put == data.size());
}

class Win32InputFile : public InputFile {
 public:
  explicit Win32InputFile(HANDLE h) : h_(h) {}
  size_t read(char* buf, size_t n) override {
    DWORD got = 0;
    if (!ReadFile(h_, buf, DWORD(n), &got, nullptr)) return 0;
    return got;
  }
  bool seek(uint64_t position) override {
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(position);
    return SetFilePointerEx(h_, to, nullptr, FILE_BEGIN) != 0;
  }
  std::string finalPath() override { return finalPathText(h_.get()); }

 private:
  Handle h_;
};
}  // namespace

uint32_t Win32FileSystem::attributes(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  if (a != INVALID_FILE_ATTRIBUTES) return a;
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME)
    return kNoSuchPath;
  // The probe can be refused where a listing still sees the entry (a file held open without
  // sharing, a name it may not read): the listing's own view of it answers then.
  WIN32_FIND_DATAA fd;
  if (!FindHandle(FindFirstFileA(path.c_str(), &fd))) return kNoSuchPath;
  return fd.dwFileAttributes;
}

std::vector<std::string> Win32FileSystem::listFiles(const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  FindHandle h(FindFirstFileA(pattern.c_str(), &fd));
  if (!h) return names;
  do {
    if (fd.dwFileAttributes &
        (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
      continue;
    names.emplace_back(fd.cFileName);
  } while (FindNextFileA(h, &fd));
  return names;
}

bool Win32FileSystem::folderExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::unique_ptr<InputFile> Win32FileSystem::openRead(const std::string& path) {
  // A reader lets others delete too: the removal holds a file it is about to delete, and looks
  // at it once more before it does.
  Handle h(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!h) return nullptr;
  // A device name opens the device (console, serial port, printer), and a read from a serial
  // or auxiliary port waits for data that never comes. Only disk files are read.
  if (GetFileType(h) != FILE_TYPE_DISK) return nullptr;
  return std::make_unique<Win32InputFile>(h.release());
}

bool Win32FileSystem::readAll(const std::string& path, std::string& out) {
  auto f = openRead(path);
  if (!f) return false;
  out.clear();
  char buf[65536];
  for (size_t n; (n = f->read(buf, sizeof buf)) > 0;) out.append(buf, n);
  return true;
}

bool Win32FileSystem::write(const std::string& path, const std::string& data, bool append) {
  // An appending writer lets others append beside it: logs are written by more than one run.
  Handle h(CreateFileA(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                       append ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ, nullptr,
                       append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return false;
  return writeAll(h, data);
}

std::vector<FolderEntry> Win32FileSystem::listFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAA fd;
  FindHandle h(FindFirstFileA((folder + "\\*").c_str(), &fd));
  if (!h) return entries;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    entries.push_back({name, fd.dwFileAttributes, (uint64_t(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow});
  } while (FindNextFileA(h, &fd));
  return entries;
}

namespace {
class Win32FolderStream : public FolderStream {
 public:
  Win32FolderStream(HANDLE h, const WIN32_FIND_DATAA& first) : h_(h), fd_(first), pending_(true) {}
  bool next(FolderEntryView& entry) override {
    for (;;) {
      if (!pending_ && !FindNextFileA(h_, &fd_)) return false;
      pending_ = false;
      const char* n = fd_.cFileName;
      if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
      entry = {n, std::strlen(n), fd_.dwFileAttributes};
      return true;
    }
  }

 private:
  FindHandle h_;
  WIN32_FIND_DATAA fd_;
  bool pending_;
};
}  // namespace

std::unique_ptr<FolderStream> Win32FileSystem::streamFolder(const std::string& folder) {
  const std::string pattern = folder + "\\*";
  WIN32_FIND_DATAA fd;
  // Without the short names and with larger directory reads the listing is cheaper; systems
  // older than Windows 7 refuse both, and get the plain listing.
  FindHandle h(FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH));
  if (!h && GetLastError() == ERROR_INVALID_PARAMETER) h.reset(FindFirstFileA(pattern.c_str(), &fd));
  if (!h) return nullptr;
  return std::make_unique<Win32FolderStream>(h.release(), fd);
}

FolderListing Win32FileSystem::listFolderNames(const std::string& folder, std::vector<FolderEntry>& entries,
                                               size_t maxEntries, Pump* pump) {
  entries.clear();
  // The code page read as the code-page calls read it, so that the folder is the one a probe
  // of the same text reaches.
  std::wstring pattern(folder.size() + 2, L'\0');
  const int n = folder.empty() ? 0 : MultiByteToWideChar(CP_ACP, 0, folder.data(), int(folder.size()), pattern.data(), int(folder.size()));
  if (n <= 0 && !folder.empty()) return FolderListing::Failed;
  pattern.resize(size_t(n));
  pattern += L"\\*";
  WIN32_FIND_DATAW fd;
  FindHandle h(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH));
  if (!h && GetLastError() == ERROR_INVALID_PARAMETER) h.reset(FindFirstFileW(pattern.c_str(), &fd));
  if (!h) {
    const DWORD error = GetLastError();
    // A folder with nothing in it (a drive root has no "." to list); a path with no folder at
    // its end, or a file there.
    if (error == ERROR_FILE_NOT_FOUND) return FolderListing::Listed;
    return error == ERROR_PATH_NOT_FOUND || error == ERROR_DIRECTORY ? FolderListing::NoFolder : FolderListing::Failed;
  }
  FolderListing result = FolderListing::Listed;
  if (maxEntries > 0) {
    do {
      const wchar_t* w = fd.cFileName;
      if (w[0] == L'.' && (w[1] == L'\0' || (w[1] == L'.' && w[2] == L'\0'))) continue;
      if (entries.size() == maxEntries) {
        result = FolderListing::TooLarge;
        break;
      }
      entries.push_back({utf8FromUtf16le(std::string(reinterpret_cast<const char*>(w), wcslen(w) * 2)), fd.dwFileAttributes, 0});
      // Under Wine each entry is looked at on its own (tens of microseconds): a folder of
      // thousands would otherwise hold Stop and Pause for longer than they may wait.
      if (pump && entries.size() % 32 == 0) pump->yield();
    } while (FindNextFileW(h, &fd));
    if (result == FolderListing::Listed && GetLastError() != ERROR_NO_MORE_FILES) result = FolderListing::Failed;
  }
  if (result != FolderListing::Listed) entries.clear();
  return result;
}

namespace {
class Win32AppendFile : public AppendFile {
 public:
  explicit Win32AppendFile(HANDLE h) : h_(h) {}
  bool add(const std::string& data) override { return writeAll(h_, data); }

 private:
  Handle h_;
};
}  // namespace

std::unique_ptr<AppendFile> Win32FileSystem::openAppend(const std::string& path) {
  // Append access alone: every write lands at the file's end as it is then, so another writer
  // (allowed beside this one) and a cut-back in between are never written over.
  Handle h(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return nullptr;
  return std::make_unique<Win32AppendFile>(h.release());
}

namespace {
class Win32NewFile : public NewFile {
 public:
  Win32NewFile(HANDLE h, std::string path) : h_(h), path_(std::move(path)) {}
  bool write(const std::string& data) override {
    ok_ = ok_ && h_ && writeAll(h_, data);
    return ok_;
  }
  bool size(uint64_t& bytes) override {
    LARGE_INTEGER n;
    if (!h_ || !GetFileSizeEx(h_.get(), &n)) return false;
    bytes = uint64_t(n.QuadPart);
    return true;
  }
  bool setAttributes(uint32_t attributes) override { return ok_ && h_ && setKeptAttributes(h_.get(), 0, attributes); }
  bool moveTo(const std::string& to) override {
    if (!ok_) return false;
    // Through the handle that wrote it: under Wine a move by name opens the file once more.
    if (h_) {
      if (renameThrough(h_.get(), to)) return path_ = to, true;
      const DWORD error = GetLastError();
      if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return false;
      // A system that will not rename through the handle gets the file closed, then moved by
      // name as any file; nothing writes to it after its last write.
      if (!letGo()) return false;
    }
    return MoveFileA(path_.c_str(), to.c_str()) ? (path_ = to, true) : false;
  }
  bool close() override { return letGo() && ok_; }

 private:
  // Closed by hand, because what the close says counts: the last write may fail only there.
  bool letGo() {
    if (h_) closed_ = CloseHandle(h_.release()) != 0;
    return closed_;
  }
  Handle h_;
  std::string path_;
  bool ok_ = true, closed_ = false;
};
}  // namespace

std::unique_ptr<NewFile> Win32FileSystem::createNew(const std::string& path) {
  // Never opened again while it is written: readers may look, but nobody else may write to
  // it, rename it or delete it until it is closed. Delete access is what moves it by its
  // handle; where that is refused, it is made without.
  for (const DWORD access : {DWORD(GENERIC_WRITE | DELETE), DWORD(GENERIC_WRITE)}) {
    Handle h(CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (h) return std::make_unique<Win32NewFile>(h.release(), path);
    if (GetLastError() != ERROR_ACCESS_DENIED) break;
  }
  return nullptr;
}

bool Win32FileSystem::truncate(const std::string& path, uint64_t size) {
  Handle h(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return false;
  LARGE_INTEGER at, now;
  at.QuadPart = LONGLONG(size);
  // Only ever shorter: a cut never adds bytes.
  const bool ok = GetFileSizeEx(h, &now) && uint64_t(now.QuadPart) >= size && SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
                  SetEndOfFile(h);
  return ok;
}

namespace {
class Win32StoreLockHold : public StoreLockHold {
 public:
  explicit Win32StoreLockHold(HANDLE h) : h_(h) {}

 private:
  Handle h_;
};
}  // namespace

std::unique_ptr<StoreLockHold> Win32FileSystem::lockStore(const std::string& path, bool exclusive, uint32_t waitMs,
                                                          Pump* pump, StoreLockResult& result) {
  // The sharing rules of an open file are the lock: a shared holder reads and lets others read,
  // an exclusive one lets nobody else open the file at all. The system drops a dead process's
  // handles, so a program killed while it holds the lock never leaves it taken.
  const DWORD access = exclusive ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  const DWORD share = exclusive ? 0 : FILE_SHARE_READ;
  const ULONGLONG deadline = GetTickCount64() + waitMs;
  for (;;) {
    Handle h(CreateFileA(path.c_str(), access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD error = h ? ERROR_SUCCESS : GetLastError();
    // A folder nobody may write to can hold the lock file without letting it be made: a
    // shared holder then opens the one that is there.
    if (!h && error == ERROR_ACCESS_DENIED && !exclusive) {
      h.reset(CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      error = h ? ERROR_SUCCESS : GetLastError();
    }
    if (h) {
      result = StoreLockResult::Taken;
      return std::make_unique<Win32StoreLockHold>(h.release());
    }
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) {
      result = StoreLockResult::Failed;
      return nullptr;
    }
    if (GetTickCount64() >= deadline) {
      result = StoreLockResult::Busy;
      return nullptr;
    }
    if (pump) pump->yield();
    Sleep(20);
  }
}

bool Win32FileSystem::fileSize(const std::string& path, uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) return false;
  size = (uint64_t(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
  return true;
}


bool Win32FileSystem::rename(const std::string& from, const std::string& to) {
  return MoveFileA(from.c_str(), to.c_str()) != 0;
}

bool Win32FileSystem::replaceFile(const std::string& from, const std::string& to) {
  // A rename within one volume: the directory entry changes in one step. Writing through
  // keeps a power cut from leaving the old name pointing at data that never reached the disk.
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Win32FileSystem::copyFile(const std::string& from, const std::string& to, bool failIfExists) {
  return CopyFileA(from.c_str(), to.c_str(), failIfExists) != 0;
}

bool Win32FileSystem::createFolder(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  // "Already exists" also answers for a file of that name, which is no folder to put things in.
  return GetLastError() == ERROR_ALREADY_EXISTS && folderExists(path);
}

}  // namespace quillon::win32
