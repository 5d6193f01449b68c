#include "bench/timed_platform.h"

#include "platform/win32/win32_platform.h"

namespace quillon::bench {

const char* StepTimes::name(int step) {
  static const char* const names[kSteps] = {"lock, folder listings", "paths and looks (canonical, attributes)",
                                            "maker and first bytes",  "hold (open shared with nobody)",
                                            "copy (read, make, write)", "move (.part to its name)", "hash",
                                            "index and log",          "delete"};
  return names[step];
}

namespace {

double now() { return win32::Win32Pump::nowMs(); }

template <class F>
auto measure(StepTimes& t, Step s, F&& call) {
  const double start = now();
  auto result = call();
  t.ms[s] += now() - start;
  ++t.calls[s];
  return result;
}

class TimedInput : public InputFile {
 public:
  TimedInput(std::unique_ptr<InputFile> in, StepTimes& t) : in_(std::move(in)), t_(t) {}
  ~TimedInput() override {
    measure(t_, kMakerBytes, [&] {
      in_.reset();
      return 0;
    });
  }
  size_t read(char* buf, size_t n) override { return measure(t_, kMakerBytes, [&] { return in_->read(buf, n); }); }
  bool seek(uint64_t at) override { return measure(t_, kMakerBytes, [&] { return in_->seek(at); }); }
  std::string finalPath() override { return measure(t_, kMakerBytes, [&] { return in_->finalPath(); }); }

 private:
  std::unique_ptr<InputFile> in_;
  StepTimes& t_;
};

class TimedHeld : public HeldFile {
 public:
  TimedHeld(std::unique_ptr<HeldFile> in, StepTimes& t) : in_(std::move(in)), t_(t) { facts_ = in_->facts(); }
  // The file marked for deletion goes as its handle closes.
  ~TimedHeld() override {
    measure(t_, kDelete, [&] {
      in_.reset();
      return 0;
    });
  }
  size_t read(char* buf, size_t n) override { return measure(t_, kCopy, [&] { return in_->read(buf, n); }); }
  bool seek(uint64_t position) override { return measure(t_, kLooks, [&] { return in_->seek(position); }); }
  bool deleteNow() override { return measure(t_, kDelete, [&] { return in_->deleteNow(); }); }

 private:
  std::unique_ptr<HeldFile> in_;
  StepTimes& t_;
};

class TimedNew : public NewFile {
 public:
  TimedNew(std::unique_ptr<NewFile> in, StepTimes& t) : in_(std::move(in)), t_(t) {}
  bool write(const std::string& data) override { return measure(t_, kCopy, [&] { return in_->write(data); }); }
  bool size(uint64_t& bytes) override { return measure(t_, kLooks, [&] { return in_->size(bytes); }); }
  bool setAttributes(uint32_t a) override { return measure(t_, kCopy, [&] { return in_->setAttributes(a); }); }
  bool moveTo(const std::string& to) override { return measure(t_, kMove, [&] { return in_->moveTo(to); }); }
  bool close() override { return measure(t_, kCopy, [&] { return in_->close(); }); }

 private:
  std::unique_ptr<NewFile> in_;
  StepTimes& t_;
};

class TimedAppend : public AppendFile {
 public:
  TimedAppend(std::unique_ptr<AppendFile> in, StepTimes& t) : in_(std::move(in)), t_(t) {}
  ~TimedAppend() override {
    measure(t_, kIndexLog, [&] {
      in_.reset();
      return 0;
    });
  }
  bool add(const std::string& data) override { return measure(t_, kIndexLog, [&] { return in_->add(data); }); }

 private:
  std::unique_ptr<AppendFile> in_;
  StepTimes& t_;
};

class TimedHash : public Sha256Stream {
 public:
  TimedHash(std::unique_ptr<Sha256Stream> in, StepTimes& t) : in_(std::move(in)), t_(t) {}
  void add(const char* data, size_t n) override {
    measure(t_, kHash, [&] {
      in_->add(data, n);
      return 0;
    });
  }
  std::string finish() override { return measure(t_, kHash, [&] { return in_->finish(); }); }

 private:
  std::unique_ptr<Sha256Stream> in_;
  StepTimes& t_;
};

template <class T, class W>
std::unique_ptr<T> wrap(std::unique_ptr<T> in, StepTimes& t) {
  if (!in) return nullptr;
  return std::make_unique<W>(std::move(in), t);
}

}  // namespace

uint32_t TimedFileSystem::attributes(const std::string& p) { return measure(t_, kLooks, [&] { return in_.attributes(p); }); }
std::vector<std::string> TimedFileSystem::listFiles(const std::string& pattern) {
  return measure(t_, kLockAndListing, [&] { return in_.listFiles(pattern); });
}
bool TimedFileSystem::folderExists(const std::string& p) { return measure(t_, kLooks, [&] { return in_.folderExists(p); }); }
std::unique_ptr<InputFile> TimedFileSystem::openRead(const std::string& p) {
  return wrap<InputFile, TimedInput>(measure(t_, kMakerBytes, [&] { return in_.openRead(p); }), t_);
}
bool TimedFileSystem::readAll(const std::string& p, std::string& out) {
  return measure(t_, kIndexLog, [&] { return in_.readAll(p, out); });
}
bool TimedFileSystem::write(const std::string& p, const std::string& data, bool append) {
  return measure(t_, kCopy, [&] { return in_.write(p, data, append); });
}
bool TimedFileSystem::deleteFile(const std::string& p) { return measure(t_, kDelete, [&] { return in_.deleteFile(p); }); }
bool TimedFileSystem::rename(const std::string& from, const std::string& to) {
  return measure(t_, kMove, [&] { return in_.rename(from, to); });
}
bool TimedFileSystem::replaceFile(const std::string& from, const std::string& to) {
  return measure(t_, kIndexLog, [&] { return in_.replaceFile(from, to); });
}
bool TimedFileSystem::copyFile(const std::string& from, const std::string& to, bool failIfExists) {
  return measure(t_, kCopy, [&] { return in_.copyFile(from, to, failIfExists); });
}
bool TimedFileSystem::copyFolderTree(const std::string& from, const std::string& to) {
  return measure(t_, kCopy, [&] { return in_.copyFolderTree(from, to); });
}
bool TimedFileSystem::setAttributes(const std::string& p, uint32_t attributes) {
  return measure(t_, kCopy, [&] { return in_.setAttributes(p, attributes); });
}
bool TimedFileSystem::createFolder(const std::string& p) {
  return measure(t_, kLockAndListing, [&] { return in_.createFolder(p); });
}
bool TimedFileSystem::deleteFolderTree(const std::string& p) {
  return measure(t_, kDelete, [&] { return in_.deleteFolderTree(p); });
}
std::vector<FolderEntry> TimedFileSystem::listFolder(const std::string& folder) {
  return measure(t_, kLockAndListing, [&] { return in_.listFolder(folder); });
}
std::unique_ptr<FolderStream> TimedFileSystem::streamFolder(const std::string& folder) {
  return measure(t_, kLockAndListing, [&] { return in_.streamFolder(folder); });
}
FolderListing TimedFileSystem::listFolderNames(const std::string& folder, std::vector<FolderEntry>& entries,
                                               size_t maxEntries, Pump* pump) {
  return measure(t_, kLockAndListing, [&] { return in_.listFolderNames(folder, entries, maxEntries, pump); });
}
bool TimedFileSystem::fileSize(const std::string& p, uint64_t& size) {
  return measure(t_, kLooks, [&] { return in_.fileSize(p, size); });
}
std::unique_ptr<NewFile> TimedFileSystem::createNew(const std::string& p) {
  return wrap<NewFile, TimedNew>(measure(t_, kCopy, [&] { return in_.createNew(p); }), t_);
}
std::unique_ptr<AppendFile> TimedFileSystem::openAppend(const std::string& p) {
  return wrap<AppendFile, TimedAppend>(measure(t_, kIndexLog, [&] { return in_.openAppend(p); }), t_);
}
bool TimedFileSystem::truncate(const std::string& p, uint64_t size) {
  return measure(t_, kIndexLog, [&] { return in_.truncate(p, size); });
}
std::unique_ptr<StoreLockHold> TimedFileSystem::lockStore(const std::string& p, bool exclusive, uint32_t waitMs,
                                                          Pump* pump, StoreLockResult& result) {
  return measure(t_, kLockAndListing, [&] { return in_.lockStore(p, exclusive, waitMs, pump, result); });
}
std::string TimedFileSystem::canonicalPath(const std::string& p) {
  return measure(t_, kLooks, [&] { return in_.canonicalPath(p); });
}
bool TimedFileSystem::examine(const std::string& p, PathFacts& facts) {
  return measure(t_, kLooks, [&] { return in_.examine(p, facts); });
}
bool TimedFileSystem::deleteFileChecked(const std::string& p, const FileIdentity& expected) {
  return measure(t_, kDelete, [&] { return in_.deleteFileChecked(p, expected); });
}
std::unique_ptr<HeldFile> TimedFileSystem::holdFile(const std::string& p, HoldFailure* why, uint32_t inUseWaitMs) {
  return wrap<HeldFile, TimedHeld>(measure(t_, kHold, [&] { return in_.holdFile(p, why, inUseWaitMs); }), t_);
}
std::unique_ptr<HeldPlace> TimedFileSystem::holdPlace(const std::string& p) {
  return measure(t_, kLooks, [&] { return in_.holdPlace(p); });
}
bool TimedFileSystem::deleteFolderTreeChecked(const std::string& p, const FileIdentity& expected) {
  return measure(t_, kDelete, [&] { return in_.deleteFolderTreeChecked(p, expected); });
}
bool TimedFileSystem::systemProtectsFile(const std::string& p) {
  return measure(t_, kMakerBytes, [&] { return in_.systemProtectsFile(p); });
}

std::string TimedSignatures::sha256(const std::string& data) { return measure(t_, kHash, [&] { return in_.sha256(data); }); }
std::unique_ptr<Sha256Stream> TimedSignatures::sha256Stream() {
  return wrap<Sha256Stream, TimedHash>(measure(t_, kHash, [&] { return in_.sha256Stream(); }), t_);
}
bool TimedSignatures::verifyP256(const std::string& key, const std::string& digest, const std::string& signature) {
  return in_.verifyP256(key, digest, signature);
}

}  // namespace quillon::bench
