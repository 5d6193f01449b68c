// quillon-cli.exe: the console front-end over the same engine as the desktop program.
//   quillon-cli scan     run the scan that "Start" runs; print the findings
//   quillon-cli encode   encipher definition lines read on standard input
//   quillon-cli decode   decipher them
// Messages go to standard error. A question whose Yes would delete or change something is
// answered No, unless `--yes` was given.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "definitions/cipher.h"
#include "platform/win32/win32_platform.h"
#include "ui/frm_main.h"

using namespace quillon;

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: quillon-cli [--yes] scan   run a scan and list what it found\n"
               "       quillon-cli encode         encipher definition lines (standard input to output)\n"
               "       quillon-cli decode         decipher definition lines (standard input to output)\n"
               "  --yes   answer Yes (or OK) to the program's questions, which are answered No otherwise\n");
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
        std::fprintf(stderr,
                     "quillon-cli encode: line %ld, byte %zu (0x%02X) would be enciphered as a line break, "
                     "so the line cannot be stored; nothing was written.\n",
                     lineNo, at + 1, unsigned(static_cast<unsigned char>(line[at])));
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

int scan(bool assumeYes) {
  win32::Win32Services services;
  Platform platform = services.console(assumeYes);
  controls::HeadlessHost host;
  ui::FrmMain main(platform, host, services.thisProgram.exePath(), services.thisProgram.branding());
  main.consoleMode = true;
  main.Form_Load();
  // A scan without its settings, exclusions and counts would report nonsense: none at all.
  if (!main.loaded()) return 2;
  main.cmdScanNow_Click();
  for (const controls::ListItem& row : main.lvwSpywareFound.items()) std::printf("%s\n", row.text.c_str());
  const auto& removal = main.lvwPicRemoveListOfSpywareFoundAndToBeRemoved;
  for (const controls::ListItem& row : removal.items())
    std::printf("%s\t%s\t%s\n", row.text.c_str(), row.subItem(1).c_str(), row.subItem(2).c_str());
  std::fflush(stdout);
  if (!main.lastRunLooked()) return 2;
  if (main.reportFailed()) {
    std::fprintf(stderr, "The scan report could not be written to %s\\Scan_Log.txt.\n", main.appFolder.c_str());
    return 5;
  }
  // A running program that was stopped is a finding too, though nothing is left to remove.
  return main.counters.threatsFound > 0 || removal.count() > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string cmd;
  bool assumeYes = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--yes") assumeYes = true;
    else if (cmd.empty() && arg.compare(0, 1, "-") != 0) cmd = arg;
    else return usage();  // an unknown option is never taken as permission
  }
  if (cmd == "scan") return scan(assumeYes);
  if (cmd == "encode" && !assumeYes) return transform(true);
  if (cmd == "decode" && !assumeYes) return transform(false);
  return usage();
}
