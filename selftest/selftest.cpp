#include "selftest/selftest.h"

#include <chrono>
#include <map>
#include <thread>

#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/definition_store.h"
#include "removal/quarantine.h"
#include "scan/cookie_scan.h"

namespace quillon {

namespace {

constexpr int kAppDataFolderId = 0x1A;
constexpr const char* kSampleFile = "quillon-selftest-sample.bin";
constexpr const char* kSampleFolder = "Sample Folder";
constexpr const char* kWaiterName = "quillon-selftest-waiter.exe";
constexpr const char* kCookieSite = "quillon-selftest";

using Values = std::map<std::string, RegValue>;

RegValue text(const std::string& s) { return RegValue{kRegSz, s + '\0'}; }

// Strings are compared without their terminator: an export and import may store it or not.
bool sameValue(const RegValue& a, const RegValue& b) {
  auto body = [](const RegValue& v) {
    if (v.type != kRegSz && v.type != kRegExpandSz) return v.data;
    return v.data.substr(0, v.data.find('\0'));
  };
  return a.type == b.type && body(a) == body(b);
}

class SelfTest {
 public:
  SelfTest(const SelfTestEnv& env, SelfTestHost& host) : env_(env), p_(env.platform), host_(host) {
    name_ = selfTestName(env.productName);
    const std::string appData = p_.shell.specialFolder(kAppDataFolderId);
    root_ = appData.empty() ? "" : appData + "\\" + name_;
    app_ = root_ + "\\app";
    samples_ = root_ + "\\samples";
    file_ = samples_ + "\\" + kSampleFile;
    folder_ = samples_ + "\\" + kSampleFolder;
    waiter_ = folder_ + "\\" + kWaiterName;
    cookies_ = p_.shell.specialFolder(kCookieFolderId);
    cookie_ = cookies_ + "\\selftest@" + kCookieSite + "[1].txt";
    regRoot_ = selfTestRegistryKey(env.productName);
    regKey_ = regRoot_ + "\\Samples\\Key";
    regValues_ = regRoot_ + "\\Samples\\Values";
    // Every byte value once, so that a copy that changes any byte is caught.
    for (int i = 0; i < 256; ++i) fileBytes_.push_back(char(i));
    fileBytes_ += "\r\nA harmless " + env.productName + " self-test sample.\r\n";
    cookieBytes_ = "selftest\r\n12345\r\nads." + std::string(kCookieSite) + ".example/\r\n";
    keyValues_ = {{"Text", text("A harmless self-test sample")},
                  {"Number", RegValue{kRegDword, std::string("\x2A\0\0\0", 4)}},
                  {"Bytes", RegValue{kRegBinary, std::string("\0\xFF\x10", 3)}}};
    innerValues_ = {{"Nested", RegValue{kRegExpandSz, std::string("%TEMP%\\sample") + '\0'}}};
  }

  bool run() {
    if (root_.size() <= name_.size() + 1 || cookies_.empty())
      return fail("the user's application data or cookie folder is unknown; nothing was planted");
    if (p_.instanceLock.busyElsewhere(env_.productName))
      return fail("a scan or removal of " + env_.productName + " is running; the self-test did not start");
    BusyMark busy(p_.instanceLock, env_.productName);
    cleanUp();  // what an interrupted earlier run left
    const bool ok = plant() && firstRemoval() && restoreAll() && secondRemoval();
    const std::string left = cleanUp();
    if (!left.empty()) return fail("clean-up: could not remove " + left);
    host_.step(true, "cleaned up: no sample, quarantine, key or cookie of the self-test is left");
    return ok && failures_ == 0;
  }

 private:
  bool fail(const std::string& why) {
    ++failures_;
    host_.step(false, why);
    return false;
  }
  bool held(bool ok, const std::string& what) {
    if (!ok) return fail(what);
    host_.step(true, what);
    return true;
  }

  bool makeFolders(const std::string& path) {
    if (p_.fs.folderExists(path)) return true;
    const size_t cut = path.rfind('\\');
    if (cut == std::string::npos || cut < 3 || !makeFolders(path.substr(0, cut))) return false;
    if (!p_.fs.createFolder(path)) return false;
    madeFolders_.push_back(path);
    return true;
  }

  bool writeDefinitions() {
    const std::string base = "[appdata]" + name_ + "\\samples";
    const std::pair<const char*, std::string> sets[] = {
        {kFileDefs, std::string(kSampleFile) + "=" + name_ + ".File|" + base + "|Adware"},
        {kDirectoryDefs, "Sample folder=" + name_ + ".Folder|" + base + "\\" + kSampleFolder + "|Adware"},
        {kExeDefs, std::string(kWaiterName) + "=" + name_ + ".Program|" + base + "\\" + kSampleFolder},
        {kRegistryDefs, "1^" + regKey_ + "^=" + name_ + ".RegistryKey|Adware\r\n" + "1^" + regValues_ +
                            "^Setting=" + name_ + ".RegistryValue"},
        {kCookieDefs, std::string("*") + kCookieSite + ".example"}};
    for (const auto& [file, lines] : sets) {
      std::string enciphered;
      for (const std::string& line : split(lines, "\r\n")) enciphered += encodeDefinitionLine(line) + "\r\n";
      if (!p_.fs.write(app_ + "\\" + file, enciphered, false)) return false;
    }
    return true;
  }

  bool startWaiter() {
    const std::string command = "\"" + waiter_ + "\" " + env_.waiterSwitch;
    if (!p_.launcher.launch(command)) return false;
    for (int i = 0; i < 100; ++i) {
      if (!waiterIds().empty()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  std::vector<uint32_t> waiterIds() {
    std::vector<uint32_t> ids, found;
    p_.processes.enumerateIds(ids);
    for (uint32_t id : ids) {
      std::string path;
      if (p_.processes.executablePath(id, path) && iequals(path, waiter_)) found.push_back(id);
    }
    return found;
  }

  bool plant() {
    if (!makeFolders(app_) || !makeFolders(folder_) || !writeDefinitions())
      return fail("could not make the self-test's folder " + root_);
    std::string program;
    if (!p_.fs.readAll(env_.waiterProgram, program)) return fail("could not read " + env_.waiterProgram);
    waiterBytes_ = program;
    if (!p_.fs.write(file_, fileBytes_, false) || !p_.fs.write(folder_ + "\\notes.txt", cookieBytes_, false) ||
        !p_.fs.write(waiter_, waiterBytes_, false))
      return fail("could not write the sample files in " + samples_);
    Registry& r = p_.registry;
    bool reg = true;
    for (const auto& [n, v] : keyValues_) reg = reg && r.setValue(kHkeyCurrentUser, regKey_, n, v);
    for (const auto& [n, v] : innerValues_) reg = reg && r.setValue(kHkeyCurrentUser, regKey_ + "\\Inner", n, v);
    reg = reg && r.setValue(kHkeyCurrentUser, regValues_, "Setting", text("http://quillon-selftest.example/")) &&
          r.setValue(kHkeyCurrentUser, regValues_, "Kept", text("not a sample: stays"));
    if (!reg) return fail("could not write the sample registry key HKEY_CURRENT_USER\\" + regRoot_);
    if (!makeFolders(cookies_) || !p_.fs.write(cookie_, cookieBytes_, false))
      return fail("could not write the sample cookie " + cookie_);
    if (!startWaiter()) return fail("could not start the sample program " + waiter_);
    return held(true, "planted a file, a folder, a registry key and value, a cookie and a running program");
  }

  bool ours(const std::string& location) const {
    return ifind(location, name_) != std::string::npos || ifind(location, kCookieSite) != std::string::npos;
  }

  // Scans, checks that it found the six samples and nothing else, and removes them.
  bool scanAndRemove(const std::string& round) {
    SelfTestScan found = host_.scan(app_, name_, false);
    if (!found.looked) return fail(round + "scan: the scan could not look");
    int own = 0;
    for (const RemovalRow& row : found.findings) {
      if (!ours(row.location)) return fail(round + "scan found something that is not a sample (" + row.location +
                                           "); nothing was removed");
      ++own;
    }
    bool stopped = false;
    for (const std::string& row : found.rows)
      stopped = stopped || (ifind(row, kWaiterName) != std::string::npos && row.find("was stopped") != std::string::npos);
    if (!held(own == 5 && stopped, round + "scan: found the file, folder, registry key and value and cookie (" +
                                       std::to_string(own) + " of 5)" + (stopped ? " and stopped the program" : "; "
                                       "the running program was not stopped")))
      return false;
    SelfTestScan removed = host_.scan(app_, name_, true);
    return held(removed.left == 0 && allGone(), round + "removal: every sample went into the quarantine");
  }

  bool allGone() {
    RegValue v;
    return p_.fs.attributes(file_) == kNoSuchPath && p_.fs.attributes(folder_) == kNoSuchPath &&
           p_.fs.attributes(cookie_) == kNoSuchPath && !p_.registry.keyExists(kHkeyCurrentUser, regKey_, kKeyRead) &&
           p_.registry.queryValue(kHkeyCurrentUser, regValues_, "Setting", kKeyRead, v) != RegStatus::Ok &&
           p_.registry.queryValue(kHkeyCurrentUser, regValues_, "Kept", kKeyRead, v) == RegStatus::Ok;
  }

  bool firstRemoval() { return scanAndRemove(""); }

  bool sameBytes(const std::string& path, const std::string& bytes) {
    std::string now;
    return p_.fs.readAll(path, now) && now == bytes;
  }

  bool sameKey(const std::string& key, const Values& expected) {
    std::vector<std::string> subkeys;
    std::vector<std::pair<std::string, RegValue>> values;
    if (!p_.registry.enumerateKey(kHkeyCurrentUser, key, subkeys, values) || values.size() != expected.size())
      return false;
    for (const auto& [n, v] : values) {
      auto it = expected.find(n);
      if (it == expected.end() || !sameValue(it->second, v)) return false;
    }
    return true;
  }

  bool restoreAll() {
    Quarantine q(p_, app_);
    if (const StoreLockResult lock = q.lock(&p_.pump); lock != StoreLockResult::Taken)
      return fail("restore: " + q.lockProblem(lock, env_.productName));
    const std::vector<QuarantineEntry> entries = q.entries();
    for (const QuarantineEntry& e : entries) {
      const std::string problem = q.restore(e.id);
      if (!problem.empty()) return fail("restore of " + e.original + ": " + problem);
    }
    if (!held(entries.size() == 5, "restored " + std::to_string(entries.size()) + " quarantined item(s)")) return false;
    RegValue setting;
    const bool bytes = sameBytes(file_, fileBytes_) && sameBytes(folder_ + "\\notes.txt", cookieBytes_) &&
                       sameBytes(waiter_, waiterBytes_) && sameBytes(cookie_, cookieBytes_);
    const bool values =
        sameKey(regKey_, keyValues_) && sameKey(regKey_ + "\\Inner", innerValues_) &&
        p_.registry.queryValue(kHkeyCurrentUser, regValues_, "Setting", kKeyRead, setting) == RegStatus::Ok &&
        sameValue(setting, text("http://quillon-selftest.example/"));
    return held(bytes, "every restored file holds its bytes") &&
           held(values, "every restored registry value holds its type and data");
  }

  bool secondRemoval() {
    if (!startWaiter()) return fail("could not start the restored sample program " + waiter_);
    return scanAndRemove("second ");
  }

  // Removes everything the self-test may have planted; names what is still there.
  std::string cleanUp() {
    for (uint32_t id : waiterIds()) {
      p_.processes.terminateById(id, 0);
      p_.processes.waitForExit(id, 5000);
    }
    std::string left;
    if (p_.fs.attributes(root_) != kNoSuchPath && !p_.fs.deleteFolderTree(root_)) left += root_ + " ";
    if (p_.fs.attributes(cookie_) != kNoSuchPath && !p_.fs.deleteFile(cookie_)) left += cookie_ + " ";
    for (auto f = madeFolders_.rbegin(); f != madeFolders_.rend(); ++f)
      if (f->compare(0, root_.size(), root_) != 0 && p_.fs.listFolder(*f).empty()) p_.fs.deleteFolderTree(*f);
    madeFolders_.clear();
    if (p_.registry.keyExists(kHkeyCurrentUser, regRoot_, kKeyRead) &&
        !p_.registry.deleteTree(kHkeyCurrentUser, regRoot_))
      left += "HKEY_CURRENT_USER\\" + regRoot_;
    return left;
  }

  const SelfTestEnv& env_;
  Platform& p_;
  SelfTestHost& host_;
  std::string name_, root_, app_, samples_, file_, folder_, waiter_, cookies_, cookie_;
  std::string regRoot_, regKey_, regValues_;
  std::string fileBytes_, cookieBytes_, waiterBytes_;
  Values keyValues_, innerValues_;
  std::vector<std::string> madeFolders_;
  int failures_ = 0;
};

}  // namespace

std::string selfTestName(const std::string& productName) { return productName + " Self-Test"; }
std::string selfTestRegistryKey(const std::string& productName) { return "Software\\" + selfTestName(productName); }

bool runSelfTest(const SelfTestEnv& env, SelfTestHost& host) { return SelfTest(env, host).run(); }

}  // namespace quillon
