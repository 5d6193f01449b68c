// Owning types for the system's handles: each closes what it holds when it goes out of scope, so
// no early return can leak one. They convert to the raw handle for the calls that take it, and
// test as true only when they hold a usable one (each kind has its own failure values).
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>
#include <bcrypt.h>
#include <objbase.h>
#include <oleauto.h>

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
  Raw operator->() const noexcept { return h_; }  // for the object pointers (COM)
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

// The handles whose failure value is null, each freed by one call.
template <class T, auto Free>
struct FreedBy {
  using Raw = T;
  static Raw empty() noexcept { return nullptr; }
  static bool usable(Raw h) noexcept { return h != nullptr; }
  static void close(Raw h) noexcept { Free(h); }
};

// An opened or created registry key. (An open of an empty path under a predefined root hands back
// the root itself; closing that is harmless.)
using RegKey = Owned<FreedBy<HKEY, RegCloseKey>>;
// A WinINet session, connection or request.
using InternetHandle = Owned<FreedBy<HINTERNET, InternetCloseHandle>>;
// A loaded library.
using Library = Owned<FreedBy<HMODULE, FreeLibrary>>;

// A cryptographic algorithm provider, and a key made with one.
inline void closeProvider(BCRYPT_ALG_HANDLE h) { BCryptCloseAlgorithmProvider(h, 0); }
using CryptoProvider = Owned<FreedBy<BCRYPT_ALG_HANDLE, closeProvider>>;
using CryptoKey = Owned<FreedBy<BCRYPT_KEY_HANDLE, BCryptDestroyKey>>;

// Memory the system hands out and the caller frees: a block of movable memory from
// GlobalAlloc (until the clipboard takes it over), an array from LocalAlloc (CommandLineToArgvW),
// a block from the COM allocator (a known folder's path, an id list), a COM string.
using GlobalMemory = Owned<FreedBy<HGLOBAL, GlobalFree>>;
template <class T>
using LocalMemory = Owned<FreedBy<T, LocalFree>>;
template <class T>
using CoTaskMemory = Owned<FreedBy<T, CoTaskMemFree>>;
using Bstr = Owned<FreedBy<BSTR, SysFreeString>>;

// A reference to a COM object, released when it goes.
template <class Interface>
inline void releaseCom(Interface* p) { p->Release(); }
template <class Interface>
using Com = Owned<FreedBy<Interface*, releaseCom<Interface>>>;

// COM on this thread for a scope: the scope that started it (S_FALSE too, which also takes a
// reference) ends it.
class ComApartment {
 public:
  ComApartment() : started_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (started_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool started_;
};

// A socket.
struct SocketTraits {
  using Raw = SOCKET;
  static Raw empty() noexcept { return INVALID_SOCKET; }
  static bool usable(Raw s) noexcept { return s != INVALID_SOCKET; }
  static void close(Raw s) noexcept { closesocket(s); }
};
using Socket = Owned<SocketTraits>;

}  // namespace quillon::win32
