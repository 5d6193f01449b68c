// The real platform on the Win32 API.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <cstdio>

#include "platform/platform.h"

namespace quillon::win32 {

class Win32Registry : public Registry {
 public:
  bool keyExists(uint32_t root, const std::string& path, uint32_t access) override;
  RegStatus queryValue(uint32_t root, const std::string& path, const std::string& name,
                       uint32_t access, RegValue& out) override;
  std::unique_ptr<OpenRegistryKey> openKey(uint32_t root, const std::string& path, uint32_t access,
                                           RegStatus& status) override;
  bool setValue(uint32_t root, const std::string& path, const std::string& name,
                const RegValue& value) override;
  bool deleteValue(uint32_t root, const std::string& path, const std::string& name) override;
  bool deleteTree(uint32_t root, const std::string& path) override;
  bool enumerateKey(uint32_t root, const std::string& path, std::vector<std::string>& subkeys,
                    std::vector<std::pair<std::string, RegValue>>& values) override;
  std::string exactName(const std::string& codePageText) override;
  bool keyExistsExact(uint32_t root, const std::string& path) override;
  RegStatus queryValueExact(uint32_t root, const std::string& path, const std::string& name, RegValue& out) override;
  bool setValueExact(uint32_t root, const std::string& path, const std::string& name, const RegValue& value) override;
  bool createKeyExact(uint32_t root, const std::string& path) override;
  bool enumerateKeyExact(uint32_t root, const std::string& path, std::vector<std::string>& subkeys,
                         std::vector<std::pair<std::string, RegValue>>& values) override;
  bool systemProtectsKey(uint32_t root, const std::string& path) override;
};

class Win32FileSystem : public FileSystem {
 public:
  uint32_t attributes(const std::string& path) override;
  std::vector<std::string> listFiles(const std::string& pattern) override;
  bool folderExists(const std::string& path) override;
  std::unique_ptr<InputFile> openRead(const std::string& path) override;
  bool readAll(const std::string& path, std::string& out) override;
  bool write(const std::string& path, const std::string& data, bool append) override;
  std::vector<FolderEntry> listFolder(const std::string& folder) override;
  std::unique_ptr<FolderStream> streamFolder(const std::string& folder) override;
  FolderListing listFolderNames(const std::string& folder, std::vector<FolderEntry>& entries, size_t maxEntries,
                                Pump* pump = nullptr) override;
  bool fileSize(const std::string& path, uint64_t& size) override;
  std::unique_ptr<AppendFile> openAppend(const std::string& path) override;
  std::unique_ptr<NewFile> createNew(const std::string& path) override;
  bool truncate(const std::string& path, uint64_t size) override;
  bool deleteFile(const std::string& path) override;
  bool rename(const std::string& from, const std::string& to) override;
  bool replaceFile(const std::string& from, const std::string& to) override;
  bool copyFile(const std::string& from, const std::string& to, bool failIfExists) override;
  bool copyFolderTree(const std::string& from, const std::string& to) override;
  bool createFolder(const std::string& path) override;
  bool setAttributes(const std::string& path, uint32_t attributes) override;
  bool deleteFolderTree(const std::string& path) override;
  std::unique_ptr<StoreLockHold> lockStore(const std::string& path, bool exclusive, uint32_t waitMs, Pump* pump,
                                           StoreLockResult& result) override;
  // win32_identity.cpp
  std::string canonicalPath(const std::string& path) override;
  bool examine(const std::string& path, PathFacts& facts) override;
  bool deleteFileChecked(const std::string& path, const FileIdentity& expected) override;
  std::unique_ptr<HeldFile> holdFile(const std::string& path, HoldFailure* why = nullptr,
                                     uint32_t inUseWaitMs = 0) override;
  std::unique_ptr<HeldPlace> holdPlace(const std::string& path) override;
  bool deleteFolderTreeChecked(const std::string& path, const FileIdentity& expected) override;
  bool systemProtectsFile(const std::string& path) override;
};

class Win32Shell : public Shell {
 public:
  std::string specialFolder(int csidl) override;
  std::string programsFolderFromIdList() override;
  std::vector<std::string> knownFolders() override;
  std::string tempFolder() override;
};

class Win32Launcher : public Launcher {
 public:
  bool launch(const std::string& commandLine) override;
  bool openDocument(const std::string& path) override;
};

class Win32ThisProgram : public ThisProgram {
 public:
  std::string exePath() override;
  Branding branding() override;
};
// The branding in the version information of any executable.
Branding brandingOf(const std::string& exePath);

// The window message by which the installer asks the program's running copies to close: a
// registered one, so that every process agrees on its number.
inline constexpr char kCloseRequestMessage[] = "Quillon close request";

class Win32RunningProcesses : public RunningProcesses {
 public:
  OsVersion osVersion() override;
  std::string systemDirectory() override;
  bool enumerateIds(std::vector<uint32_t>& ids) override;
  std::string baseName(uint32_t pid) override;
  bool executablePath(uint32_t pid, std::string& path) override;
  std::vector<ProcessEntry> snapshot() override;
  bool startTime(uint32_t pid, uint64_t& time) override;
  bool terminateById(uint32_t pid, uint32_t exitCode) override;
  bool waitForExit(uint32_t pid, uint32_t ms) override;
  bool askToClose(uint32_t pid) override;
  uint32_t currentProcessId() override;
};

class Win32SystemRestore : public SystemRestore {
 public:
  bool setRestorePoint(const RestorePointRequest& request, int64_t& sequenceOut) override;
};

class Win32LibraryExports : public LibraryExports {
 public:
  bool callExport(const std::string& libraryPath, const std::string& exportName) override;
};

class Win32Clipboard : public Clipboard {
 public:
  bool setText(const std::string& text) override;
  std::string text() override;
};

class Win32InstanceLock : public InstanceLock {
 public:
  Win32InstanceLock();
  ~Win32InstanceLock() override;
  bool anotherInstanceRunning(const std::string& name) override;
  void markBusy(const std::string& name, bool busy) override;
  bool busyElsewhere(const std::string& name) override;

 private:
  struct Mutexes;  // the named mutexes it holds, closed with it
  std::unique_ptr<Mutexes> held_;
  int answer_ = -1;
  int busyDepth_ = 0;
};

class Win32Drives : public Drives {
 public:
  std::vector<Drive> list() override;
  bool ready(char letter) override;

 private:
  static void markMapped(std::vector<Drive>& drives);
};

// HTTP over the system's sockets (HTTPS through WinINet), with the bounds of HttpLimits applied
// to each request whatever the server does.
class Win32Http : public Http {
 public:
  Win32Http();
  HttpResponse get(const std::string& url, const HttpLimits& limits,
                   const std::function<void(int read, size_t received, size_t expected)>& afterRead) override;
  void abandonAll() override;
  // Set for a program with windows: the request then runs on a worker thread while the
  // calling thread keeps its windows answering, and `afterRead` still runs on the calling
  // thread, once per read, in order.
  Pump* waitPump = nullptr;

 private:
  // Shared with the worker threads, which may outlive a request given up.
  std::shared_ptr<std::atomic<bool>> ending_;
};

// SHA-256 and ECDSA P-256 verification through the system's cryptography (BCrypt).
class Win32Signatures : public Signatures {
 public:
  std::string sha256(const std::string& data) override;
  std::unique_ptr<Sha256Stream> sha256Stream() override;
  bool verifyP256(const std::string& publicKey, const std::string& digest, const std::string& signature) override;
};
// The path the system resolves an open handle to, without the "\\?\" it puts before it
// ("" when it cannot say); as the program's text in lexicalFullPath's form ("" when a
// character has no form in the code page).
std::wstring finalPathOf(void* handle);
std::string finalPathText(void* handle);
// Sets the bits of kKeptAttributes a handle's file or folder has to those of `wanted`, keeping
// the rest of `current` (its bits now); the handle needs FILE_WRITE_ATTRIBUTES.
bool setKeptAttributes(void* handle, uint32_t current, uint32_t wanted);
// Renames the file open as `handle` (with DELETE access) to the full path `to`, never over a
// name that exists; false with the system's error when it cannot.
bool renameThrough(void* handle, const std::string& to);
// An export of the system's file and key protection (sfc_os.dll, loaded once and kept); null
// where the system has no such library or export.
void* protectionExport(const char* name);
// Wide text in the system code page. A character the code page lacks becomes "?", never a
// look-alike ("\u0101" is not "a"), so a name that could not be carried whole is recognisable.
std::string ansiOf(const std::wstring& text);
// The program's arguments, without its own name, read from the wide command line.
std::vector<std::string> commandLineWords();

// Windows Management Instrumentation, through COM.
class Win32Management : public Management {
 public:
  bool processNames(std::vector<std::string>& names) override;
};

// Version-information string of any file ("CompanyName", "ProductName", ...); "" if none.
std::string versionString(const std::string& file, const char* field);

class Win32Dialogs : public Dialogs {
 public:
  int messageBox(const std::string& text, const std::string& title, unsigned flags) override;
  void setOwner(void* hwnd) { owner_ = hwnd; }

 private:
  void* owner_ = nullptr;
};

// Message boxes of a console program: nobody is there to click, so the text goes to standard
// error and the answer is the one that changes nothing. A question answers No (OK/Cancel:
// Cancel) unless the user said beforehand that the answer is yes (`--yes`); Abort/Retry/Ignore
// and Retry/Cancel always answer Abort and Cancel, since retrying unattended may never end.
class ConsoleDialogs : public Dialogs {
 public:
  explicit ConsoleDialogs(bool assumeYes = false, std::FILE* out = stderr) : assumeYes_(assumeYes), out_(out) {}
  int messageBox(const std::string& text, const std::string& title, unsigned flags) override;
  void setAssumeYes(bool yes) { assumeYes_ = yes; }
  // The answer to a box of these flags.
  static int answer(unsigned flags, bool assumeYes);

 private:
  bool assumeYes_;
  std::FILE* out_;
};

// The open-file dialog, owned by the main window once there is one.
class Win32FileDialog : public FileDialog {
 public:
  bool chooseFile(const std::string& title, std::string& path) override;
  void setOwner(void* hwnd) { owner_ = hwnd; }

 private:
  void* owner_ = nullptr;
};

// Nobody can pick a file in a console: the dialog is cancelled.
class ConsoleFileDialog : public FileDialog {
 public:
  bool chooseFile(const std::string&, std::string&) override { return false; }
};

// Dispatches pending window messages. A yield that follows the previous one within
// `minGapMs` returns at once: under Wine a message-queue check is a call to the Wine server,
// which in the middle of a scan costs about 0.4 ms (the server has to be woken), so checking
// every 4 ms took a tenth of a scan. Every 15 ms costs a fortieth and is still far below what
// a user notices of Stop or Pause.
class Win32Pump : public Pump {
 public:
  explicit Win32Pump(double minGapMs = 15.0);
  void yield() override;
  static double nowMs();

 private:
  double minGapMs_;
  double last_ = -1e9;
};

class Win32Clock : public Clock {
 public:
  std::string nowText() override;
  DateTime localTime() override;
};

// All of the above, ready to hand to the program.
struct Win32Services {
  Win32Registry registry;
  Win32FileSystem fs;
  Win32Shell shell;
  Win32Launcher launcher;
  Win32ThisProgram thisProgram;
  Win32RunningProcesses processes;
  Win32SystemRestore restore;
  Win32LibraryExports libraries;
  Win32Clipboard clipboard;
  Win32InstanceLock instanceLock;
  Win32Drives drives;
  Win32Http http;
  Win32Signatures signatures;
  Win32Management management;
  Win32Dialogs dialogs;
  ConsoleDialogs consoleDialogs;
  Win32FileDialog fileDialog;
  ConsoleFileDialog consoleFileDialog;
  Win32Pump pump;
  Win32Clock clock;
  // The desktop program's parts: real message boxes and dialogs.
  PlatformParts parts();
  Platform gui() {
    http.waitPump = &pump;
    return Platform(parts());
  }
  // The console program's: questions answered as ConsoleDialogs says.
  Platform console(bool assumeYes = false);
};

// Text in the system's code page as UTF-8, for output that scripts read.
std::string ansiToUtf8(const std::string& ansi);

}  // namespace quillon::win32
