#include "tests/fakes.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "definitions/cipher.h"

namespace quillon::test {

int FakeDialogs::messageBox(const std::string& text, const std::string& title, unsigned flags) {
  shown.push_back({text, title, flags});
  if (answer) return answer(shown.back());
  switch (flags & 0xF) {
    case kMbAbortRetryIgnore: return kIdAbort;
    case kMbYesNo:
    case kMbYesNoCancel: return kIdYes;
    default: return kIdOk;
  }
}

void FakePump::yield() {
  ++yields;
  if (onYield) onYield(yields);
}

bool FlakyRegistry::setValue(uint32_t root, const std::string& path, const std::string& name, const RegValue& v) {
  if (root == kHkeyLocalMachine) {
    ++machineWriteAttempts;
    if (failMachineWrites) return false;
  }
  return Win32Registry::setValue(root, path, name, v);
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
  static int counter = 0;
  folder = makeFolder(tempRoot() + "\\quillon-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                      std::to_string(++counter));
  registry.deleteTree(kHkeyCurrentUser, "Software\\" + product);
  registry.deleteTree(kHkeyLocalMachine, "SOFTWARE\\Test Company\\" + product);
}

App::~App() {
  main_.reset();
  registry.deleteTree(kHkeyCurrentUser, "Software\\" + product);
  registry.deleteTree(kHkeyLocalMachine, "SOFTWARE\\Test Company\\" + product);
  std::string from = folder + '\0';
  SHFILEOPSTRUCTA op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  SHFileOperationA(&op);
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

void App::writeText(const std::string& file, const std::string& text) { fs.write(path(file), text, false); }

std::string App::readText(const std::string& file) const {
  std::string s;
  const_cast<win32::Win32FileSystem&>(fs).readAll(path(file), s);
  return s;
}

ui::FrmMain& App::main() {
  if (!main_) {
    Branding b{product, "Test Company", "quillon.example", 1, 0};
    main_ = std::make_unique<ui::FrmMain>(platform, host, path("quillon.exe"), b);
  }
  return *main_;
}

}  // namespace quillon::test
