// The real platform on the Win32 "A" API.
#pragma once
#include <cstdint>

#include "platform/platform.h"

namespace quillon::win32 {

class Win32Registry : public Registry {
 public:
  bool keyExists(uint32_t root, const std::string& path, uint32_t access) override;
  RegStatus queryValue(uint32_t root, const std::string& path, const std::string& name,
                       uint32_t access, RegValue& out) override;
  bool setValue(uint32_t root, const std::string& path, const std::string& name,
                const RegValue& value) override;
  bool deleteValue(uint32_t root, const std::string& path, const std::string& name) override;
  bool deleteTree(uint32_t root, const std::string& path) override;
  bool enumerateKey(uint32_t root, const std::string& path, std::vector<std::string>& subkeys,
                    std::vector<std::pair<std::string, RegValue>>& values) override;
};

class Win32FileSystem : public FileSystem {
 public:
  uint32_t attributes(const std::string& path) override;
  std::vector<std::string> listFiles(const std::string& pattern) override;
  bool folderExists(const std::string& path) override;
  std::unique_ptr<InputFile> openRead(const std::string& path) override;
  bool readAll(const std::string& path, std::string& out) override;
  bool write(const std::string& path, const std::string& data, bool append) override;
  bool copyFile(const std::string& from, const std::string& to, bool failIfExists) override;
  bool copyFolderTree(const std::string& from, const std::string& to) override;
  std::vector<FolderEntry> listFolder(const std::string& folder) override;
  bool fileSize(const std::string& path, uint64_t& size) override;
  bool deleteFile(const std::string& path) override;
  bool rename(const std::string& from, const std::string& to) override;
  bool createFolder(const std::string& path) override;
  bool deleteFolderTree(const std::string& path) override;
};

class Win32Shell : public Shell {
 public:
  std::string specialFolder(int csidl) override;
  std::string programsFolderFromIdList() override;
  bool launch(const std::string& commandLine) override;
};

class Win32Process : public Process {
 public:
  std::string exePath() override;
  Branding ownBranding() override;
};

class Win32Processes : public Processes {
 public:
  OsVersion osVersion() override;
  std::string systemDirectory() override;
  bool enumerateIds(std::vector<uint32_t>& ids) override;
  std::string baseName(uint32_t pid) override;
  bool executablePath(uint32_t pid, std::string& path) override;
  std::vector<ProcessEntry> snapshot() override;
  bool terminateById(uint32_t pid, uint32_t exitCode) override;
  bool waitForExit(uint32_t pid, uint32_t ms) override;
  uint32_t currentProcessId() override;
};

class Win32System : public SystemServices {
 public:
  ~Win32System() override;
  bool setRestorePoint(const RestorePointRequest& request, int64_t& sequenceOut) override;
  bool callExport(const std::string& libraryPath, const std::string& exportName) override;
  bool setClipboardText(const std::string& text) override;
  std::string clipboardText() override;
  bool anotherInstanceRunning(const std::string& name) override;
  bool openDocument(const std::string& path) override;

 private:
  void* instanceMutex_ = nullptr;
  int instanceAnswer_ = -1;
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

// Message boxes of a console program: the text goes to standard error and the default button
// answers, since nobody is there to click.
class ConsoleDialogs : public Dialogs {
 public:
  int messageBox(const std::string& text, const std::string& title, unsigned flags) override;
};

// Dispatches pending window messages. A yield that follows the previous one within
// `minGapMs` returns at once: under Wine a message-queue check costs about as much as a file
// probe, and a few milliseconds are far below what a user notices of Stop or Pause.
class Win32Pump : public Pump {
 public:
  explicit Win32Pump(double minGapMs = 4.0);
  void yield() override;
  static double nowMs();

 private:
  double minGapMs_;
  double last_ = -1e9;
};

class Win32Clock : public Clock {
 public:
  std::string nowText() override;
};

// All of the above, ready to hand to the program.
struct Win32Services {
  Win32Registry registry;
  Win32FileSystem fs;
  Win32Shell shell;
  Win32Process process;
  Win32Dialogs dialogs;
  ConsoleDialogs consoleDialogs;
  Win32Pump pump;
  Win32Clock clock;
  Win32Processes processes;
  Win32System system;
  Platform gui() { return Platform{registry, fs, shell, process, dialogs, pump, clock, processes, system}; }
  Platform console() {
    return Platform{registry, fs, shell, process, consoleDialogs, pump, clock, processes, system};
  }
};

}  // namespace quillon::win32
