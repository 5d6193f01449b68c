// Benchmark of the definition merge under Wine: an update of 10,000 DEL records applied to a
// definition file of 100,000 lines, with the check of the result against the publisher's
// digests of the five files (the staged file hashed as it is written and read back, the files it
// leaves alone hashed too), against a plain line-by-line copy of that file, measured in the same
// run; then the same at ten times the file, to show that memory stays flat. Last,
// what checking the publisher's signature adds to a signed update of 100,000 records: the
// check (the text's SHA-256 and the statement's signature) against the merge of that update.
//
//   bench_definition_merge [lines]     (default 100000; the second round uses ten times as many)
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "definitions/line_reader.h"
#include "definitions/cipher.h"
#include "definitions/definition_store.h"
#include "platform/win32/win32_platform.h"
#include "tests/test_signer.h"
#include "update/definition_merge.h"
#include "update/signed_update.h"

using namespace quillon;

namespace {

struct Quiet : MergeStatus {
  void show(const std::string&) override {}
  void yield() override {}
};

std::string lineFor(int i) { return encodeDefinitionLine("item" + std::to_string(i) + ".dll=Bench.Threat|[windir]x|Adware"); }

void writeDefinitions(win32::Win32FileSystem& fs, const std::string& folder, int lines) {
  // Written in pieces, so that making the file does not raise the peak the merge is judged by.
  std::string piece;
  bool started = false;
  for (int i = 0; i < lines; ++i) {
    piece += lineFor(i) + "\r\n";
    if (piece.size() >= 256 * 1024 || i + 1 == lines) {
      fs.write(folder + "\\" + kFileDefs, piece, started);
      started = true;
      piece.clear();
    }
  }
  for (const char* f : {kExeDefs, kRegistryDefs, kCookieDefs, kDirectoryDefs}) fs.write(folder + "\\" + f, "", false);
}

// 10,000 deletions spread over the file, every tenth line of its first 100,000.
std::string updateText(int deletions) {
  std::string text;
  const std::string kind = encodeDefinitionLine("FILE");
  for (int i = 0; i < deletions; ++i)
    text += "[BR]" + kind + "|DEL[DEF]" + encodeDefinitionLine("item" + std::to_string(i * 10) + ".dll");
  return text;
}

// The floor: read the file line by line and write every line to another, in the same pieces.
double plainCopyMs(win32::Win32FileSystem& fs, const std::string& folder) {
  const double t0 = win32::Win32Pump::nowMs();
  LineReader reader(fs.openRead(folder + "\\" + kFileDefs));
  std::string buf;
  bool started = false;
  const std::string to = folder + "\\copy.dat";
  for (std::string line; reader.next(line);) {
    buf += line;
    buf += "\r\n";
    if (buf.size() >= 256 * 1024) {
      fs.write(to, buf, started);
      started = true;
      buf.clear();
    }
  }
  fs.write(to, buf, started);
  fs.replaceFile(to, folder + "\\copied.dat");
  return win32::Win32Pump::nowMs() - t0;
}

// The digests the merged files must have, from a merge of the same update without them.
std::vector<std::string> resultDigests(win32::Win32FileSystem& fs, const std::string& folder, const std::string& text) {
  Quiet quiet;
  win32::Win32Signatures signatures;
  mergeDefinitionUpdate(fs, signatures, folder, text, quiet);
  std::vector<std::string> digests(std::size(kDefinitionFiles));
  for (size_t i = 0; i < digests.size(); ++i)
    fileDigest(fs, signatures, folder + "\\" + kDefinitionFiles[i], digests[i]);
  return digests;
}

double mergeMs(win32::Win32FileSystem& fs, const std::string& folder, const DefinitionUpdate& update, uint32_t& count) {
  Quiet quiet;
  win32::Win32Signatures signatures;
  const double t0 = win32::Win32Pump::nowMs();
  const MergeOutcome o = applyDefinitionUpdate(fs, signatures, folder, update, quiet);
  const double ms = win32::Win32Pump::nowMs() - t0;
  count = o.landed ? o.count : 0;
  if (!o.landed) std::printf("the merge did not land: %s\n", o.problem.c_str());
  return ms;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

size_t peakMiB() {
  PROCESS_MEMORY_COUNTERS pmc{};
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
  return pmc.PeakWorkingSetSize >> 20;
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::max(20000, std::atoi(argv[1])) : 100000;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "QuillonBenchMerge";
  CreateDirectoryA(folder.c_str(), nullptr);
  win32::Win32FileSystem fs;
  const std::string text = updateText(10000);

  for (int round = 0; round < 2; ++round) {
    const int n = round == 0 ? lines : lines * 10;
    std::vector<double> merges, copies;
    uint32_t count = 0;
    writeDefinitions(fs, folder, n);
    DefinitionUpdate update;
    update.text = text;
    update.digests = resultDigests(fs, folder, text);
    for (int rep = 0; rep < 5; ++rep) {
      writeDefinitions(fs, folder, n);
      copies.push_back(plainCopyMs(fs, folder));
      merges.push_back(mergeMs(fs, folder, update, count));
    }
    // The merge must really have removed what it was asked to.
    LineReader check(fs.openRead(folder + "\\" + kFileDefs));
    long left = 0;
    for (std::string line; check.next(line);) ++left;
    std::vector<MergeRecord> records;
    const double p0 = win32::Win32Pump::nowMs();
    parseDefinitionUpdate(text, records);
    const double parse = win32::Win32Pump::nowMs() - p0;
    std::printf("(reading the update text: %.1f ms)\n", parse);
    const double m = median(merges), c = median(copies);
    std::printf("%d lines, 10000 DEL records: merge with the result check %.1f ms, plain copy %.1f ms, ratio %.2f (goal <= 2); "
                "%ld lines left, count %u; peak working set %zu MiB\n",
                n, m, c, m / c, left, count, peakMiB());
  }
  // A signed update of 100,000 ADD records onto a file of as many lines.
  {
    std::string big;
    const std::string kind = encodeDefinitionLine("FILE");
    for (int i = 0; i < 100000; ++i)
      big += (i ? "[BR]" : "") + kind + "|ADD[DEF]" + encodeDefinitionLine("new" + std::to_string(i) + ".dll") + "=" +
             encodeDefinitionLine("Bench.New") + "|" + encodeDefinitionLine("[windir]x");
    test::TestSigner publisher;
    const std::string statement =
        publisher.statement("1/1/2029 12:00:00 AM", "1/1/2030 12:00:00 AM", big, std::vector<std::string>(5, std::string(32, 'd')));
    const std::vector<std::string> keys{publisher.publicKey()};
    win32::Win32Signatures signatures;
    std::vector<double> merges, checks, hashes;
    for (int rep = 0; rep < 5; ++rep) {
      writeDefinitions(fs, folder, 100000);
      double t0 = win32::Win32Pump::nowMs();
      SignedStatement s;
      const std::string why = checkSignedUpdate(signatures, keys, statement, big, "1/1/2029 12:00:00 AM", s);
      checks.push_back(win32::Win32Pump::nowMs() - t0);
      if (!why.empty()) std::printf("signature check failed: %s\n", why.c_str());
      t0 = win32::Win32Pump::nowMs();
      signatures.sha256(big);
      hashes.push_back(win32::Win32Pump::nowMs() - t0);
      Quiet quiet;
      t0 = win32::Win32Pump::nowMs();
      DefinitionUpdate signedUpdate;
      signedUpdate.text = big;
      signedUpdate.newDate = "1/1/2030 12:00:00 AM";
      applyDefinitionUpdate(fs, signatures, folder, signedUpdate, quiet);
      merges.push_back(win32::Win32Pump::nowMs() - t0);
    }
    const double m = median(merges), c = median(checks);
    std::printf("signed update of 100000 records (%zu bytes): signature check %.1f ms (of which the text's "
                "SHA-256 %.1f ms), merge %.1f ms, check/merge %.3f (goal <= 0.05)\n",
                big.size(), c, median(hashes), m, c / m);
  }
  fs.deleteFolderTree(folder);
  return 0;
}
