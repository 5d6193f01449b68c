#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>
#include <winioctl.h>

#include <algorithm>
#include <random>

#include "scan/company_name.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {

std::string wide(const std::string& s) {
  std::string w;
  for (char c : s) w += std::string(1, '\0') + c;
  return w;
}

// Bytes in memory as a stream that hands out at most `most` bytes per read, as a real file
// may, and can move.
class BytesFile : public InputFile {
 public:
  BytesFile(std::string s, size_t most) : s_(std::move(s)), most_(most) {}
  size_t read(char* buf, size_t n) override {
    size_t k = std::min({n, most_, s_.size() - std::min(pos_, s_.size())});
    std::copy_n(s_.data() + pos_, k, buf);
    pos_ += k;
    return k;
  }
  bool seek(uint64_t position) override {
    pos_ = size_t(position);
    return true;
  }

 private:
  std::string s_;
  size_t most_, pos_ = 0;
};

std::string streamed(const std::string& bytes, size_t chunk, size_t most = SIZE_MAX) {
  BytesFile f(bytes, most);
  return companyNameFromStream(f, chunk);
}

}  // namespace

// The streamed search must give what the whole-file search gives, wherever the pieces end.
TEST(CompanyName, StreamedSearchAgreesWithTheWholeFileSearch) {
  const std::vector<std::string> parts = {
      wide("StringFileInfo"), "StringFileInfo", "CompanyName", wide("CompanyName"), wide("FileDescription"),
      "FileDescription", std::string(3, '\0'), std::string(4, '\0'), wide("Acme Ltd"), "Acme Ltd",
      std::string("\0\0", 2), "String", wide("Company"), "\x01\x1f"};
  std::mt19937 rng(20240611);
  auto pick = [&](size_t n) { return size_t(rng() % n); };
  int named = 0, cases = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    for (size_t n = pick(14); n > 0; --n) {
      if (pick(3) == 0) {
        for (size_t k = pick(12); k > 0; --k) bytes += "\0\0AbS C\x7f"[pick(8)];
      } else {
        bytes += parts[pick(parts.size())];
      }
    }
    const std::string want = companyNameFromBytes(bytes);
    named += !want.empty();
    ++cases;
    for (size_t chunk : {1, 7, 13, 64, 4096}) {
      EXPECT_EQ(streamed(bytes, chunk), want) << "chunk " << chunk << " case " << round;
      EXPECT_EQ(streamed(bytes, chunk, 5), want) << "chunk " << chunk << " short reads, case " << round;
    }
    if (HasFailure()) break;
  }
  // The generator must reach the interesting answers, not only "".
  EXPECT_GT(named, cases / 6);

  // A version block slid across every position of a piece boundary.
  const std::string block = "MZ" + wide("StringFileInfo") + "xx" + wide("CompanyName") + std::string(4, '\0') +
                            wide("Acme Ltd") + std::string(4, '\0') + wide("FileDescription");
  for (size_t shift = 0; shift < 40; ++shift) {
    std::string bytes = std::string(shift, 'C') + block;
    for (size_t chunk : {7, 13, 64}) EXPECT_EQ(streamed(bytes, chunk), "Acme Ltd") << shift << "/" << chunk;
  }
  // A wide block anywhere later overrides an earlier narrow match.
  const std::string late = "CompanyName=Early Co" + std::string(3, '\0') + std::string(100, 'z') + block;
  EXPECT_EQ(companyNameFromBytes(late), "Acme Ltd");
  // 8-bit version text: the value follows the key and its terminator.
  EXPECT_EQ(companyNameFromBytes(std::string("xxStringFileInfo..CompanyName") + '\0' + "Acme Ltd" + std::string(3, '\0')),
            "Acme Ltd");
  EXPECT_EQ(streamed(late, 7), "Acme Ltd");
}

TEST(CompanyName, ValueIsCutAtItsLimitAndAStreamThatCannotMoveGivesNothing) {
  // No three NULs after the value: the whole-file search takes everything to the end.
  // The narrow value starts 12 bytes after the name, one byte after its end.
  const std::string bytes = "CompanyName=" + std::string(kCompanyValueMax + 5000, 'A');
  EXPECT_EQ(companyNameFromBytes(bytes).size(), kCompanyValueMax + 5000);
  EXPECT_TRUE(streamed(bytes, 4096) == std::string(kCompanyValueMax, 'A'));
  // Three NULs right at the limit end the value there, as they would without it.
  const std::string atLimit = "CompanyName=" + std::string(kCompanyValueMax - 1, 'B') + std::string(3, '\0') + "tail";
  EXPECT_TRUE(streamed(atLimit, 4096) == std::string(kCompanyValueMax - 1, 'B'));
  EXPECT_TRUE(companyNameFromBytes(atLimit) == std::string(kCompanyValueMax - 1, 'B'));

  struct NoSeek : InputFile {
    std::string s = "CompanyName=Acme";
    size_t pos = 0;
    size_t read(char* buf, size_t n) override {
      size_t k = std::min(n, s.size() - pos);
      std::copy_n(s.data() + pos, k, buf);
      pos += k;
      return k;
    }
  } noSeek;
  EXPECT_EQ(companyNameFromStream(noSeek, 64), "");
}

TEST(CompanyName, RealSystemFileAndAHugeSparseFile) {
  App app;
  char sys[MAX_PATH];
  GetSystemDirectoryA(sys, MAX_PATH);
  const std::string copy = app.path("k32.dll");
  ASSERT_TRUE(CopyFileA((std::string(sys) + "\\kernel32.dll").c_str(), copy.c_str(), FALSE));
  std::string bytes;
  ASSERT_TRUE(app.fs.readAll(copy, bytes));
  EXPECT_EQ(companyNameFromBytes(bytes), "Microsoft Corporation");
  EXPECT_EQ(readCompanyName(app.fs, copy), "Microsoft Corporation");
  auto in = app.fs.openRead(copy);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(companyNameFromStream(*in, 4093), "Microsoft Corporation");

  // Past 4 GiB, so that a position kept in 32 bits would show; mostly a hole, so it costs no
  // disk space where the file system has holes.
  const std::string huge = app.path("huge.bin");
  const uint64_t size = (uint64_t(17) << 28) + 12345;  // 4.25 GiB and a bit
  HANDLE h = CreateFileA(huge.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD ret = 0;
  DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ret, nullptr);  // where supported
  LARGE_INTEGER at;
  at.QuadPart = LONGLONG(size);
  ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(h));
  const std::string block = wide("StringFileInfo") + wide("CompanyName") + std::string(4, '\0') +
                            wide("Far Away Company") + std::string(4, '\0');
  at.QuadPart = LONGLONG(size - 100000);
  ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
  DWORD put = 0;
  ASSERT_TRUE(WriteFile(h, block.data(), DWORD(block.size()), &put, nullptr));
  CloseHandle(h);

  PROCESS_MEMORY_COUNTERS before{}, after{};
  GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
  EXPECT_EQ(readCompanyName(app.fs, huge), "Far Away Company");
  GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
  // Holding the file would lift the peak by gigabytes above both earlier marks. (The working
  // set, since Wine does not count committed memory in the page-file figures.)
  EXPECT_LE(after.PeakWorkingSetSize,
            std::max<SIZE_T>(before.PeakWorkingSetSize, before.WorkingSetSize + (256u << 20)));
  DeleteFileA(huge.c_str());
}
