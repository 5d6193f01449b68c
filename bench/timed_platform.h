// A file system and a hash that pass every call on to the real ones and add up how long each
// kind of call took, so that a benchmark can say where a run's time goes: what is left of the
// run's own time beside these is the program's own work.
#pragma once
#include <array>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace quillon::bench {

enum Step : int { kLockAndListing, kLooks, kMakerBytes, kHold, kCopy, kMove, kHash, kIndexLog, kDelete, kSteps };

struct StepTimes {
  std::array<double, kSteps> ms{};
  std::array<long, kSteps> calls{};
  static const char* name(int step);
};

class TimedFileSystem : public FileSystem {
 public:
  TimedFileSystem(FileSystem& inner, StepTimes& times) : in_(inner), t_(times) {}
  uint32_t attributes(const std::string& p) override;
  std::vector<std::string> listFiles(const std::string& pattern) override;
  bool folderExists(const std::string& p) override;
  std::unique_ptr<InputFile> openRead(const std::string& p) override;
  bool readAll(const std::string& p, std::string& out) override;
  bool write(const std::string& p, const std::string& data, bool append) override;
  bool deleteFile(const std::string& p) override;
  bool rename(const std::string& from, const std::string& to) override;
  bool replaceFile(const std::string& from, const std::string& to) override;
  bool copyFile(const std::string& from, const std::string& to, bool failIfExists) override;
  bool copyFolderTree(const std::string& from, const std::string& to) override;
  bool createFolder(const std::string& p) override;
  bool setAttributes(const std::string& p, uint32_t attributes) override;
  bool deleteFolderTree(const std::string& p) override;
  std::vector<FolderEntry> listFolder(const std::string& folder) override;
  std::unique_ptr<FolderStream> streamFolder(const std::string& folder) override;
  FolderListing listFolderNames(const std::string& folder, std::vector<FolderEntry>& entries, size_t maxEntries,
                                Pump* pump) override;
  bool fileSize(const std::string& p, uint64_t& size) override;
  std::unique_ptr<NewFile> createNew(const std::string& p) override;
  std::unique_ptr<AppendFile> openAppend(const std::string& p) override;
  bool truncate(const std::string& p, uint64_t size) override;
  std::unique_ptr<StoreLockHold> lockStore(const std::string& p, bool exclusive, uint32_t waitMs, Pump* pump,
                                           StoreLockResult& result) override;
  std::string canonicalPath(const std::string& p) override;
  bool examine(const std::string& p, PathFacts& facts) override;
  bool deleteFileChecked(const std::string& p, const FileIdentity& expected) override;
  std::unique_ptr<HeldFile> holdFile(const std::string& p, HoldFailure* why, uint32_t inUseWaitMs) override;
  std::unique_ptr<HeldPlace> holdPlace(const std::string& p) override;
  bool deleteFolderTreeChecked(const std::string& p, const FileIdentity& expected) override;
  bool systemProtectsFile(const std::string& p) override;

 private:
  FileSystem& in_;
  StepTimes& t_;
};

class TimedSignatures : public Signatures {
 public:
  TimedSignatures(Signatures& inner, StepTimes& times) : in_(inner), t_(times) {}
  std::string sha256(const std::string& data) override;
  std::unique_ptr<Sha256Stream> sha256Stream() override;
  bool verifyP256(const std::string& key, const std::string& digest, const std::string& signature) override;

 private:
  Signatures& in_;
  StepTimes& t_;
};

}  // namespace quillon::bench
