// quillon-cli.exe: the console front-end over the same engine as the desktop program.
//   quillon-cli scan [--remove]          run the scan that "Start" runs; print the findings;
//                                        with --remove, remove them as "Delete" does
//   quillon-cli scan --complete [...]    a complete system scan: also walks the checked drives
//   quillon-cli quarantine list          one line per quarantined item
//   quillon-cli quarantine restore ID    put an item back where it was
//   quillon-cli quarantine delete ID     delete an item's copy for good
//   quillon-cli quarantine purge --older-than DAYS
//                                        delete every item stored more than DAYS days ago
//   quillon-cli submit NAME              submit a suspicious file name to the data server
//   quillon-cli update                   run Live Update; print the notice
//   quillon-cli encode   encipher definition lines read on standard input
//   quillon-cli decode   decipher them
//   quillon-cli selftest                 plant harmless samples, scan, remove, restore, clean up
// `scan --json` and the quarantine commands with `--json` print one JSON object per line (UTF-8)
// instead.
// Messages go to standard error. A question whose Yes would delete or change something is
// answered No, unless `--yes` was given.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "selftest/selftest_scanner.h"
#include "session/session.h"
#include "common/json.h"
#include "common/text.h"
#include "definitions/cipher.h"
#include "removal/quarantine_items.h"
#include "shell/app_folder.h"
#include "platform/win32/win32_platform.h"
#include "update/signed_update.h"

using namespace quillon;

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: quillon-cli [--yes] scan [--remove]   run a scan and list what it found; with --remove,\n"
               "                                             remove it into the quarantine\n"
               "       quillon-cli scan --complete [--remove]\n"
               "                                             the same as a complete system scan: every drive\n"
               "                                             checked on the options page is walked as well\n"
               "       quillon-cli quarantine list           list the quarantined items\n"
               "       quillon-cli quarantine restore ID     put a quarantined item back where it was\n"
               "       quillon-cli quarantine delete ID      delete a quarantined item for good\n"
               "       quillon-cli quarantine purge --older-than DAYS\n"
               "                                             delete every item quarantined more than DAYS days ago\n"
               "       quillon-cli submit NAME               submit a suspicious file name\n"
               "       quillon-cli update                    bring the definitions up to date (Live Update)\n"
               "       quillon-cli encode                    encipher definition lines (standard input to output)\n"
               "       quillon-cli decode                    decipher definition lines (standard input to output)\n"
               "       quillon-cli selftest                  check that scanning, removal and restore work here,\n"
               "                                             on harmless samples of its own\n"
               "  --yes   answer Yes (or OK) to the program's questions, which are answered No otherwise\n"
               "  --json  scan and quarantine: one JSON object per line, in UTF-8\n");
  return 64;
}

// Plain-text input may come from any system, so LF alone also ends a line here; enciphered
// input keeps the definition files' rule (CR LF or a lone CR), since LF is a cipher byte.
// Nothing is written until every line has been converted: a refused line leaves no half file.
int transform(bool encode) {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  std::string line, output;
  bool pending = false;
  long lineNo = 0;
  bool refused = false;
  auto flush = [&] {
    ++lineNo;
    if (encode && !refused) {
      size_t at = unencodableByte(line);
      if (at != std::string::npos) {
        const unsigned char byte = static_cast<unsigned char>(line[at]);
        std::fprintf(stderr, "quillon-cli encode: line %ld, byte %zu (0x%02X) %s; nothing was written.\n", lineNo,
                     at + 1, unsigned(byte), unstorableByteReason(byte));
        refused = true;
      }
    }
    output += encode ? encodeDefinitionLine(line) : decodeDefinitionLine(line);
    output += "\r\n";
    line.clear();
    pending = false;
  };
  for (int c; (c = std::getchar()) != EOF;) {
    if (c == '\r') {
      int n = std::getchar();
      if (n != '\n' && n != EOF) std::ungetc(n, stdin);
      flush();
    } else if (c == '\n' && encode) {
      flush();
    } else {
      line.push_back(char(c));
      pending = true;
    }
  }
  if (pending) flush();
  if (refused) return 3;
  if (std::fwrite(output.data(), 1, output.size(), stdout) != output.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "quillon-cli: the output could not be written.\n");
    return 3;
  }
  return 0;
}

// The engine as the console runs it: the real platform with console questions, no windows;
// what a run would show is said through message boxes, which go to standard error.
struct Console {
  explicit Console(bool assumeYes)
      : platform(services.console(assumeYes)),
        session(platform, services.thisProgram.exePath(), services.thisProgram.branding()),
        scanHost(session),
        removalHost(session) {}
  win32::Win32Services services;
  Platform platform;
  Session session;
  BoxScanHost scanHost;
  BoxRemovalHost removalHost;
};

// Exit codes: 0 nothing found; 1 found (and, with --remove, all of it removed); 2 the scan could
// not look (the definitions missing, or kept by another program), or another program kept the
// quarantine busy; 3 something found could not be removed; 5 the report could not be written.
// The kind of a removal-list row, by its icon.
const char* findingKind(int icon) {
  switch (icon) {
    case 1: return "cookie";
    case 2: return "registry";
    case 4: return "folder";
    default: return "file";
  }
}

std::string utf8(const std::string& ansi) { return win32::ansiToUtf8(ansi); }

int scan(bool assumeYes, bool remove, bool complete, bool json) {
  Console console(assumeYes);
  Session& session = console.session;
  // A scan without its settings, exclusions and counts would report nonsense: none at all.
  if (!session.load()) return 2;
  const ScanOutcome outcome = session.scan(complete, console.scanHost);
  if (outcome.busy) return 2;  // said on standard error; nothing was looked at
  if (complete) std::fprintf(stderr, "Files and folders inspected: %ld\n", long(session.counters.filesInspected));
  if (!json)
    for (const FoundRow& row : session.results.foundRows()) std::printf("%s\n", row.text.c_str());
  const ScanResults& results = session.results;
  for (int i = 0; i < results.removalCount(); ++i) {
    const RemovalRow row = results.removalRow(i);
    if (json)
      std::printf("%s\n", JsonLine().text("kind", findingKind(row.icon)).text("threat", utf8(row.threat))
                               .text("location", utf8(row.location)).text("type", utf8(row.type)).str().c_str());
    else
      std::printf("%s\t%s\t%s\n", row.threat.c_str(), row.location.c_str(), row.type.c_str());
  }
  std::fflush(stdout);
  if (!outcome.looked) return 2;
  if (session.reportFailed) {
    std::fprintf(stderr, "The scan report could not be written to %s\\Scan_Log.txt.\n", session.appFolder.c_str());
    return 5;
  }
  // A running program that was stopped is a finding too, though nothing is left to remove.
  const bool found = session.counters.threatsFound > 0 || results.removalCount() > 0;
  if (!remove) return found ? 1 : 0;
  // "Click Here to Continue": with nothing to remove, the anonymous report goes now.
  session.continueAfterScan();
  if (results.removalCount() == 0) return found ? 1 : 0;

  // "Select All", then the removal "Delete" runs, after the same question; the console answers
  // it No unless --yes. One that another program kept from the quarantine changed nothing; the
  // box said why.
  session.results.checkAll();
  const RemovalRunOutcome run =
      session.remove(RemovalOptions{true, true, session.branding.productName}, console.removalHost);
  if (!run.refused.empty()) return 2;
  const RemovalOutcome& outcomeOfRemoval = run.items;
  for (const std::string& item : outcomeOfRemoval.removed)
    if (json)
      std::printf("%s\n", JsonLine().boolean("removed", true).text("item", utf8(item)).str().c_str());
    else
      std::printf("removed\t%s\n", item.c_str());
  for (size_t i = 0; i < outcomeOfRemoval.failed.size(); ++i) {
    const std::string& item = outcomeOfRemoval.failed[i];
    const std::string& reason = outcomeOfRemoval.reasons[i];
    if (json)
      std::printf("%s\n", JsonLine().boolean("removed", false).text("item", utf8(item)).text("reason", utf8(reason))
                               .str().c_str());
    else
      std::printf("not removed\t%s\t%s\n", item.c_str(), reason.c_str());
  }
  std::fflush(stdout);
  // Whatever is still there counts, of any kind, even when its finding's row went.
  if (results.removalCount() > 0 || !outcomeOfRemoval.failed.empty()) {
    std::fprintf(stderr, "%d finding(s) were not removed%s.\n",
                 std::max(results.removalCount(), int(outcomeOfRemoval.failed.size())),
                 assumeYes ? "" : " (removal needs --yes)");
    return 3;
  }
  return 1;
}

// A whole number of at most `digits` digits, or -1.
long long wholeNumber(const std::string& text, size_t digits) {
  return !text.empty() && text.size() <= digits && text.find_first_not_of("0123456789") == std::string::npos
             ? std::stoll(text)
             : -1;
}

// What a restore or deletion did, item by item: on standard error, or as JSON lines with
// `json`. Exit code 0 when every item was done, 2 when another program kept the quarantine (or
// it could not be used) and nothing was changed, 3 when an item could not be done.
int reportChange(const QuarantineChange& change, const char* done, const char* doneText, bool json) {
  if (!change.refused.empty()) {
    std::fprintf(stderr, "quillon-cli: %s\n", change.refused.c_str());
    return 2;
  }
  for (const QuarantineChange::Item& item : change.items) {
    if (json) {
      JsonLine line;
      line.number("id", item.id).boolean(done, item.problem.empty()).text("original", utf8(item.original));
      if (!item.problem.empty()) line.text("reason", utf8(item.problem));
      std::printf("%s\n", line.str().c_str());
    } else if (item.problem.empty()) {
      std::fprintf(stderr, "%s item %lld.\n", doneText, static_cast<long long>(item.id));
    } else {
      std::fprintf(stderr, "quillon-cli: %s\n", item.problem.c_str());
    }
  }
  std::fflush(stdout);
  return change.allDone() ? 0 : 3;
}

// The quarantine lives in the application folder; nothing else of the program is needed.
int quarantine(const std::vector<std::string>& words, bool json) {
  win32::Win32Services services;
  Platform platform = services.console(false);
  const std::string exe = services.thisProgram.exePath();
  const std::string product = services.thisProgram.branding().productName;
  if (std::string problem = appFolderProblem(exe, product); !problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return 2;
  }
  QuarantineItems items(platform, appFolderOf(exe), product);
  const std::string what = words.size() > 1 ? words[1] : "";
  if (words.size() == 2 && what == "list") {
    for (const QuarantineEntry& e : items.list())
      if (json)
        std::printf("%s\n", JsonLine().number("id", int64_t(e.id)).text("date", utf8(e.date)).text("kind", kindName(e.kind))
                                 .text("original", utf8(e.original)).text("stored", utf8(e.stored))
                                 .number("size", int64_t(e.size)).str().c_str());
      else
        std::printf("%lld\t%s\t%s\t%s\t%s\n", static_cast<long long>(e.id), e.date.c_str(), kindName(e.kind),
                    e.original.c_str(), e.stored.c_str());
    return 0;
  }
  if (words.size() == 3 && (what == "restore" || what == "delete")) {
    const long long id = wholeNumber(words[2], 18);
    if (id < 1) {
      std::fprintf(stderr, "quillon-cli: \"%s\" is not the id of a quarantined item.\n", words[2].c_str());
      return 64;
    }
    if (what == "restore") return reportChange(items.restore({id}), "restored", "Restored", json);
    return reportChange(items.remove({id}), "deleted", "Deleted", json);
  }
  if (words.size() == 4 && what == "purge" && words[2] == "--older-than") {
    const long long days = wholeNumber(words[3], 9);
    if (days < 0) {
      std::fprintf(stderr, "quillon-cli: \"%s\" is not a number of days (a whole number, 0 or more).\n",
                   words[3].c_str());
      return 64;
    }
    const QuarantineChange change = items.purgeOlderThan(days);
    const int code = reportChange(change, "deleted", "Deleted", json);
    if (change.refused.empty() && change.items.empty())
      std::fprintf(stderr, "No quarantined item was stored more than %lld day(s) ago.\n", days);
    return code;
  }
  return usage();
}

// The Live Update the button runs; prints the notice's text. Exit code 0: updated or already
// current; 4: the definition server could not be reached or its answer could not be used; 2:
// another program kept the definitions (said on standard error).
int update() {
  Console console(false);
  if (!console.session.load()) return 2;
  const LiveUpdateRunOutcome outcome = console.session.update();
  if (outcome.result.outcome == UpdateOutcome::Busy) {
    std::fprintf(stderr, "%s\n", outcome.notice.c_str());
    return 2;
  }
  std::printf("%s\n", outcome.notice.c_str());
  return outcome.ok() ? 0 : 4;
}

// Prints the result label's text; exit code 4 when the data server did not take the name.
int submit(const std::string& name) {
  Console console(false);
  const SubmissionOutcome outcome = console.session.submit(name);
  std::printf("%s\n", outcome.text.c_str());
  return outcome.accepted ? 0 : 4;
}

// Plants harmless samples of its own, scans, removes, restores, removes again and cleans up,
// through the same scan and removal as everywhere else. One line per step; exit code 0 only
// when every step held, 3 otherwise.
int selftest() {
  win32::Win32Services services;
  Platform platform = services.console(false);
  const std::string exe = services.thisProgram.exePath();
  const Branding branding = services.thisProgram.branding();
  SelfTestScanner scanner(platform, branding);
  scanner.onStep = [](bool held, const std::string& text) {
    std::printf("%s %s\n", held ? "ok    " : "FAILED", text.c_str());
    std::fflush(stdout);
  };
  // The running sample is a copy of the desktop program in its waiting mode: it has no window
  // and no console, and ends by itself if nothing stops it.
  const SelfTestEnv env{platform, branding.productName, appFolderOf(exe) + "\\quillon.exe", "/selftest-wait"};
  const bool ok = runSelfTest(env, scanner);
  std::printf("%s\n", ok ? "Self-test passed." : "Self-test FAILED.");
  return ok ? 0 : 3;
}

}  // namespace

int main() {
  std::vector<std::string> words;
  bool assumeYes = false, remove = false, complete = false, json = false;
  // Read from the wide command line: a character outside the code page arrives as "?", which
  // the submission refuses, rather than as a look-alike it would send.
  for (const std::string& arg : win32::commandLineWords()) {
    if (arg == "--yes") assumeYes = true;
    else if (arg == "--remove") remove = true;
    else if (arg == "--complete") complete = true;
    else if (arg == "--json") json = true;
    else if (arg.compare(0, 1, "-") != 0 || !words.empty()) words.push_back(arg);
    else return usage();  // an unknown option is never taken as permission
  }
  if (words.empty()) return usage();
  const std::string& cmd = words[0];
  if (cmd == "scan" && words.size() == 1) return scan(assumeYes, remove, complete, json);
  if (cmd == "quarantine" && !remove && !complete && !assumeYes) return quarantine(words, json);
  if (remove || complete || json) return usage();
  if (cmd == "selftest" && words.size() == 1 && !assumeYes) return selftest();
  if (cmd == "submit" && words.size() == 2) return submit(words[1]);
  if (cmd == "update" && words.size() == 1) return update();
  if (cmd == "encode" && words.size() == 1 && !assumeYes) return transform(true);
  if (cmd == "decode" && words.size() == 1 && !assumeYes) return transform(false);
  return usage();
}
