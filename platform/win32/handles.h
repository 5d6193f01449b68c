// Owning types for the system's handles: each closes what it holds when it goes out of scope, so
// no early return can leak one. They convert to the raw handle for the calls that take it, and
// test as true only when they hold a usable one (each kind has its own failure values).
#pragma once
#include <windows.h>
#include <wininet.h>

#include <utility>

namespace quillon::win32 {

template <class Traits>
class Owned {
 public:
  using Raw = typename Traits::Raw;
  Owned() noexcept : h_(Traits::empty()) {}
  explicit Owned(Raw h) noexcept : h_(h) {}
  Owned(Owned&& other) noexcept : h_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { close(); }

  Raw get() const noexcept { return h_; }
  operator Raw() const noexcept { return h_; }
  bool ok() const noexcept { return Traits::usable(h_); }
  explicit operator bool() const noexcept { return ok(); }

  // Closes what it holds now; afterwards it holds nothing.
  void close() noexcept { reset(Traits::empty()); }
  // Closes what it holds and takes `h` instead.
  void reset(Raw h) noexcept {
    if (Traits::usable(h_)) Traits::close(h_);
    h_ = h;
  }
  // Hands the handle over to another owner.
  Raw release() noexcept { return std::exchange(h_, Traits::empty()); }
  // For the calls that return a handle through a pointer: closes what it holds first.
  Raw* out() noexcept {
    close();
    return &h_;
  }

 private:
  Raw h_;
};

// Files, processes, tokens, snapshots, mutexes: the calls that open them fail with null
// (OpenProcess) or with INVALID_HANDLE_VALUE (CreateFile, CreateToolhelp32Snapshot).
struct KernelHandleTraits {
  using Raw = HANDLE;
  static Raw empty() noexcept { return nullptr; }
  static bool usable(Raw h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(Raw h) noexcept { CloseHandle(h); }
};
using Handle = Owned<KernelHandleTraits>;

// A listing from FindFirstFile: INVALID_HANDLE_VALUE when it failed, closed by FindClose.
struct FindHandleTraits : KernelHandleTraits {
  static Raw empty() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(Raw h) noexcept { FindClose(h); }
};
using FindHandle = Owned<FindHandleTraits>;

// The handles whose failure value is null.
template <class T>
struct NullWhenEmpty {
  using Raw = T;
  static Raw empty() noexcept { return nullptr; }
  static bool usable(Raw h) noexcept { return h != nullptr; }
};

// An opened or created registry key. (An open of an empty path under a predefined root hands back
// the root itself; closing that is harmless.)
struct RegKeyTraits : NullWhenEmpty<HKEY> {
  static void close(Raw h) noexcept { RegCloseKey(h); }
};
using RegKey = Owned<RegKeyTraits>;

// A WinINet session, connection or request.
struct InternetHandleTraits : NullWhenEmpty<HINTERNET> {
  static void close(Raw h) noexcept { InternetCloseHandle(h); }
};
using InternetHandle = Owned<InternetHandleTraits>;

// A loaded library.
struct LibraryTraits : NullWhenEmpty<HMODULE> {
  static void close(Raw h) noexcept { FreeLibrary(h); }
};
using Library = Owned<LibraryTraits>;

}  // namespace quillon::win32
