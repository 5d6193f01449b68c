#include "tests/support/fakes.h"

#include <algorithm>
#include <atomic>

#include <windows.h>
#include <shlobj.h>

#include "common/text.h"
#include "definitions/cipher.h"

namespace quillon::test {

bool FlakyRegistry::setValue(uint32_t root, const std::string& path, const std::string& name, const RegValue& v) {
  if (root == kHkeyLocalMachine) {
    ++machineWriteAttempts;
    if (failMachineWrites) return false;
  }
  return Win32Registry::setValue(root, path, name, v);
}

namespace {
bool named(const std::vector<std::string>& keys, const std::string& path) {
  return std::any_of(keys.begin(), keys.end(), [&](const std::string& k) { return iequals(k, path); });
}
}  // namespace

bool FlakyRegistry::keyExists(uint32_t root, const std::string& path, uint32_t access) {
  return !((access & ~kKeyRead) && named(readOnly, path)) && Win32Registry::keyExists(root, path, access);
}

RegStatus FlakyRegistry::queryValue(uint32_t root, const std::string& path, const std::string& name, uint32_t access,
                                    RegValue& out) {
  if ((access & ~kKeyRead) && named(readOnly, path)) return RegStatus::Failed;
  return Win32Registry::queryValue(root, path, name, access, out);
}

bool FlakyRegistry::deleteValue(uint32_t root, const std::string& path, const std::string& name) {
  if (named(undeletable, path)) return false;
  return Win32Registry::deleteValue(root, path, name);
}

bool FlakyRegistry::deleteTree(uint32_t root, const std::string& path) {
  if (named(undeletable, path)) return false;
  return Win32Registry::deleteTree(root, path);
}

bool FakeProcesses::enumerateIds(std::vector<uint32_t>& ids) {
  ids.clear();
  for (const ProcessEntry& p : table) ids.push_back(p.id);
  return true;
}

std::string FakeProcesses::baseName(uint32_t pid) {
  for (const ProcessEntry& p : table)
    if (p.id == pid) return p.name;
  return "";
}

bool FakeProcesses::executablePath(uint32_t pid, std::string& path) {
  path = baseName(pid);
  return !path.empty();
}

bool FakeProcesses::startTime(uint32_t pid, uint64_t& time) {
  time = pid;  // distinct per process, which is all a test can rely on
  return !baseName(pid).empty();
}

bool FakeProcesses::terminateById(uint32_t pid, uint32_t) {
  terminated.push_back(pid);
  return !failTerminate;
}

RunningProgram::RunningProgram(const std::string& exePath, const std::string& arguments) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + exePath + "\"" + (arguments.empty() ? "" : " " + arguments);
  if (CreateProcessA(exePath.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    handle_ = pi.hProcess;
    id_ = pi.dwProcessId;
    WaitForInputIdle(pi.hProcess, 2000);
  }
}

RunningProgram::~RunningProgram() {
  if (!handle_) return;
  TerminateProcess(handle_, 0);
  WaitForSingleObject(handle_, 5000);
  CloseHandle(handle_);
}

bool RunningProgram::running() const { return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }

bool RunningProgram::waitForEnd(int ms) const { return handle_ && WaitForSingleObject(handle_, DWORD(ms)) == WAIT_OBJECT_0; }

int RunningProgram::exitCode() const {
  DWORD code = 0;
  return handle_ && !running() && GetExitCodeProcess(handle_, &code) ? int(code) : -1;
}

std::vector<std::string> texts(const controls::ListView& list) {
  std::vector<std::string> out;
  for (const auto& r : list.items()) out.push_back(r.text);
  return out;
}

std::vector<std::string> foundTexts(const ScanResults& results) {
  std::vector<std::string> out;
  for (const FoundRow& r : results.foundRows()) out.push_back(r.text);
  return out;
}

ScanOutcome scan(Session& session, bool complete) {
  BoxScanHost host(session);
  return session.scan(complete, host);
}

RemovalRunOutcome removeAll(Session& session, bool ask, RemovalRunHost* host) {
  BoxRemovalHost boxes(session);
  session.results.checkAll();
  return session.remove(RemovalOptions{ask, ask, session.branding.productName}, host ? *host : boxes);
}

std::string binFolder() {
  char buf[MAX_PATH];
  GetModuleFileNameA(nullptr, buf, MAX_PATH);
  std::string p = buf;
  return p.substr(0, p.rfind('\\'));
}

std::string copySampleWaiter(const std::string& to) {
  CopyFileA((binFolder() + "\\" + kSampleWaiter).c_str(), to.c_str(), FALSE);
  return to;
}

std::string folderWithSampleWaiter(const App& app, const std::string& name) {
  const std::string folder = makeFolder(app.path(name));
  copySampleWaiter(folder + "\\" + kSampleWaiter);
  return folder;
}

bool makeLink(const std::string& link, const std::string& target, bool folder) {
  const std::wstring wl(link.begin(), link.end()), wt(target.begin(), target.end());
  if (CreateSymbolicLinkW(wl.c_str(), wt.c_str(), folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) &&
      GetFileAttributesW(wl.c_str()) != INVALID_FILE_ATTRIBUTES)
    return true;
  using UnixName = char*(__cdecl*)(const wchar_t*);
  auto unixName = reinterpret_cast<UnixName>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
  if (!unixName) return false;
  char* where = unixName(wl.c_str());
  if (!where) return false;
  std::wstring cmd = L"ln -s " + std::wstring(wt.begin(), wt.end()) + L" ";
  for (const char* c = where; *c; ++c) cmd += wchar_t(*c);
  HeapFree(GetProcessHeap(), 0, where);
  for (wchar_t& c : cmd)
    if (c == L'\\') c = L'/';
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(L"Z:\\bin\\ln", cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // A Unix program's handle does not tell when it has ended: the link is waited for instead.
  for (int i = 0; i < 250; ++i, Sleep(20))
    if (GetFileAttributesW(wl.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  return false;
}

ProgramRun runProgram(const std::string& exePath, const std::string& arguments, const std::string& input,
                      int timeoutMs) {
  std::wstring wide(arguments.size(), L'\0');
  wide.resize(size_t(MultiByteToWideChar(CP_ACP, 0, arguments.data(), int(arguments.size()), wide.data(),
                                         int(wide.size()))));
  return runProgram(exePath, wide, input, timeoutMs);
}

ProgramRun runProgram(const std::string& exePath, const std::wstring& arguments, const std::string& input,
                      int timeoutMs) {
  ProgramRun run;
  static std::atomic<int> counter{0};  // runs may go at once, from several threads
  const std::string base = tempRoot() + "\\quillon-run-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(++counter);
  const std::string inPath = base + ".in", outPath = base + ".out", errPath = base + ".err";
  win32::Win32FileSystem fs;
  fs.write(inPath, input, false);
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE in = CreateFileA(inPath.c_str(), GENERIC_READ, FILE_SHARE_READ, &sa, OPEN_EXISTING, 0, nullptr);
  HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
  HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in, si.hStdOutput = out, si.hStdError = err;
  PROCESS_INFORMATION pi{};
  std::wstring exe(exePath.size(), L'\0');
  exe.resize(size_t(MultiByteToWideChar(CP_ACP, 0, exePath.data(), int(exePath.size()), exe.data(), int(exe.size()))));
  std::wstring cmd = L"\"" + exe + L"\" " + arguments;
  if (CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, DWORD(timeoutMs)) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(pi.hProcess, &code);
      run.exitCode = int(code);
    } else {
      TerminateProcess(pi.hProcess, 99);
      WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hProcess);
  }
  CloseHandle(in), CloseHandle(out), CloseHandle(err);
  fs.readAll(outPath, run.out);
  fs.readAll(errPath, run.err);
  for (const std::string& p : {inPath, outPath, errPath}) DeleteFileA(p.c_str());
  return run;
}

void countLiveUpdates(ui::FrmMain& m, int& count) {
  m.settings.write(keys::DefinitionServer, "http://127.0.0.1:1");
  m.session.merge = [](const DefinitionUpdate&, MergeStatus&) { return MergeOutcome{}; };
  m.updateNotice = [&count](const std::string&) { ++count; };
}

std::string tempRoot() {
  char buf[MAX_PATH];
  GetTempPathA(MAX_PATH, buf);
  std::string t = buf;
  if (!t.empty() && t.back() == '\\') t.pop_back();
  return t;
}

std::string makeFolder(const std::string& path) {
  SHCreateDirectoryExA(nullptr, path.c_str(), nullptr);
  return path;
}

App::App(const std::string& productName) : product(productName) {
  static std::atomic<int> counter{0};  // programs may be run from several threads at once
  folder = makeFolder(tempRoot() + "\\quillon-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                      std::to_string(++counter));
  registry.deleteTree(kHkeyCurrentUser, "Software\\" + product);
  registry.deleteTree(kHkeyLocalMachine, "SOFTWARE\\Test Company\\" + product);
  // A program that has started before: no first-run help or Live Update question, unless a
  // test asks for a first start.
  firstStartDone(true);
}

PlatformParts App::ownParts() { return partsOf(*this); }

void App::firstStartDone(bool done) {
  if (done) {
    registry.setValue(kHkeyLocalMachine, "SOFTWARE\\Test Company\\" + product + "\\Settings", "FirstTime",
                      RegValue{kRegSz, "Yes"});
    registry.setValue(kHkeyCurrentUser, "Software\\" + product + "\\Settings", "showHelp", RegValue{kRegSz, "0"});
  } else {
    registry.deleteValue(kHkeyLocalMachine, "SOFTWARE\\Test Company\\" + product + "\\Settings", "FirstTime");
    registry.deleteValue(kHkeyCurrentUser, "Software\\" + product + "\\Settings", "showHelp");
  }
}

App::~App() {
  main_.reset();
  session_.reset();
  registry.deleteTree(kHkeyCurrentUser, "Software\\" + product);
  registry.deleteTree(kHkeyLocalMachine, "SOFTWARE\\Test Company\\" + product);
  fs.deleteFolderTree(folder);
}

void App::writeDefinitions(const std::string& file, const std::vector<std::string>& plainLines) {
  std::string data;
  for (const std::string& l : plainLines) data += encodeDefinitionLine(l) + "\r\n";
  writeText(file, data);
}

void App::writeEmptyDefinitions() {
  for (const char* f : {"RegistryDefinition.dat", "FileDefinition.dat", "DirectoryDefinition.dat", "ExeDefinition.dat",
                        "BlockedCookies.dat"})
    writeText(f, "");
}

namespace {
Platform withFiles(App& app, FileSystem& fs) {
  PlatformParts parts = app.ownParts();
  parts.fs = &fs;
  return Platform(parts);
}
}  // namespace

SessionOverFiles::SessionOverFiles(App& app, FileSystem& fs)
    : platform(withFiles(app, fs)), session(platform, app.path("quillon.exe"), app.branding()) {
  session.load();
}

void App::writeText(const std::string& file, const std::string& text) { fs.write(path(file), text, false); }

std::string App::readText(const std::string& file) const {
  std::string s;
  const_cast<win32::Win32FileSystem&>(fs).readAll(path(file), s);
  return s;
}

ui::FrmMain& App::main() {
  if (!main_) main_ = std::make_unique<ui::FrmMain>(platform, host, path("quillon.exe"), branding());
  return *main_;
}

Session& App::session() {
  if (!session_) {
    session_ = std::make_unique<Session>(platform, path("quillon.exe"), branding());
    session_->load();
  }
  return *session_;
}

}  // namespace quillon::test
