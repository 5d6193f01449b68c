#include <gtest/gtest.h>
#include <windows.h>

#include "common/device_names.h"
#include "scan/company_name.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

TEST(DeviceNames, ReservedNamesInEveryFormAndNothingElse) {
  for (const char* name : {"CON", "con", "PRN", "AUX", "Aux", "NUL", "COM0", "com1", "COM9", "LPT0", "lpt1", "LPT9",
                           "CONIN$", "conout$", "CLOCK$", "nul.txt", "com1.dll", "con.txt.bak", "Aux .", "aux.",
                           "NUL  ", "aux .txt", "con:", "com1:stream", "PRN . . "})
    EXPECT_TRUE(isDeviceName(name)) << name;
  for (const char* name : {"", ".", "CONX", "ACON", "COM", "COM10", "LPT", "LPTX", "COMA", "CONIN", "CLOCK", "nul_",
                           "aux1.txt", "x.con", " aux", "my nul", "CON$", "conin$$"})
    EXPECT_FALSE(isDeviceName(name)) << name;

  // The last component decides, whatever separator or drive prefix comes before it.
  for (const char* path : {"AUX", "C:\\some\\folder\\aux.txt", "C:/folder/com1", "C:nul", "folder\\LPT1.dll",
                           "\\\\server\\share\\prn", "C:\\x\\Aux .", "\\\\.\\C:", "\\\\.\\pipe\\name",
                           "\\\\?\\C:\\Windows\\file.dll", "//./C:", "//?/C:/file", "\\??\\C:\\file.dll",
                           "\\\\.\\PhysicalDrive0"})
    EXPECT_TRUE(isDevicePath(path)) << path;
  for (const char* path : {"C:\\aux\\file.txt", "C:\\folder\\", "C:\\folder\\auxiliary.dll",
                           "\\\\server\\share\\file.dll", "C:\\.\\file.dll", "file.dll", "C:", "\\\\", "\\.\\x"})
    EXPECT_FALSE(isDevicePath(path)) << path;
}

TEST(DeviceFiles, AreNeverOpenedForReadingOrTakenForFiles) {
  App app;
  app.writeText("plain.txt", "text");
  std::string bytes;
  for (const std::string& device : {std::string("NUL"), std::string("AUX"), std::string("COM1"),
                                    std::string("CONIN$"), app.path("aux.txt"), app.path("com1.dll")}) {
    // Reading a serial or auxiliary port would wait here for ever: finishing is the check.
    EXPECT_EQ(app.fs.openRead(device), nullptr) << device;
    EXPECT_FALSE(app.fs.readAll(device, bytes)) << device;
    EXPECT_EQ(readCompanyName(app.fs, device), "") << device;
    EXPECT_FALSE(fileExists(app.fs, device)) << device;
  }
  ASSERT_NE(app.fs.openRead(app.path("plain.txt")), nullptr);
  ASSERT_TRUE(app.fs.readAll(app.path("plain.txt"), bytes));
  EXPECT_EQ(bytes, "text");
  EXPECT_TRUE(fileExists(app.fs, app.path("plain.txt")));
}

TEST(DeviceScan, DefinitionsNamingDevicesFindNothingAndTheScanEnds) {
  App app;
  const std::string P = makeFolder(app.path("planted"));
  app.writeText("planted\\real.dll", "x");
  std::vector<std::string> files;
  for (const char* device : {"AUX", "COM1", "CON", "NUL", "PRN", "LPT1", "CONIN$", "nul.txt", "Aux .", "com1.dll"}) {
    files.push_back(std::string(device) + "=Device|" + P + "|Adware");
    files.push_back(std::string(device) + "=Device");
  }
  files.push_back("real.dll=Real|" + P + "|Adware");
  // The same file through the device namespace ("\\?\" once both backslash collapses are done).
  files.push_back("real.dll=Namespace|" + std::string(8, '\\') + "?" + std::string(4, '\\') + P);
  app.writeEmptyDefinitions();
  app.writeDefinitions("FileDefinition.dat", files);
  app.writeDefinitions("DirectoryDefinition.dat", {"Port=DeviceDir|" + P + "\\com1", "Aux=DeviceDir|" + P + "\\aux.txt"});

  Session& m = app.session();
  scan(m);
  EXPECT_EQ(foundTexts(m.results), std::vector<std::string>{"Real - Found"});
  ASSERT_EQ(m.results.removalCount(), 1);
  EXPECT_EQ(m.results.removalRow(0).location, P + "\\real.dll");
  EXPECT_EQ(m.counters.filesInspected, int(files.size()) + 2);
}
