// What the program meets on the user's desktop: the shell's folders, starting programs and
// documents, its own executable and branding, the clipboard, message boxes and the open-file
// dialog, the message loop and the clock.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/datetime.h"

namespace quillon {

// ---- Shell ----------------------------------------------------------------------------------
class Shell {
 public:
  virtual ~Shell() = default;
  // The shell's path of a special folder, without a trailing backslash; "" when unknown.
  virtual std::string specialFolder(int csidl) = 0;
  // The Programs folder asked through its item identifier list (the drive-root helper's way).
  virtual std::string programsFolderFromIdList() = 0;
  // The path of every folder the shell's known-folder list names that has one on this
  // machine (the user's Downloads, Saved Games, Links, ... as well as the older numbered
  // folders), without trailing backslashes. Without an implementation of its own, none.
  virtual std::vector<std::string> knownFolders() { return {}; }
  // The user's folder for temporary files, without a trailing backslash; "" when unknown.
  virtual std::string tempFolder() { return ""; }
};

// Starting other programs and documents; both return at once, without waiting.
class Launcher {
 public:
  virtual ~Launcher() = default;
  // Starts a program by command line in a normal window.
  virtual bool launch(const std::string& commandLine) = 0;
  // Opens a document with its associated program ("open" verb, normal window).
  virtual bool openDocument(const std::string& path) = 0;
};

// ---- This program: its executable and its branding -----------------------------------------
struct Branding {
  std::string productName, companyName, webSite;
  int major = 0, minor = 0;
};

class ThisProgram {
 public:
  virtual ~ThisProgram() = default;
  virtual std::string exePath() = 0;   // full path of the running executable
  virtual Branding branding() = 0;     // from the executable's version information
};

// ---- User-facing services --------------------------------------------------------------
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // Empties the clipboard and, unless `text` is empty, puts `text` on it.
  virtual bool setText(const std::string& text) = 0;
  virtual std::string text() = 0;
};

// Message box flags and answers, with the system's numbers.
enum : unsigned {
  kMbOk = 0x0, kMbOkCancel = 0x1, kMbAbortRetryIgnore = 0x2, kMbYesNoCancel = 0x3, kMbYesNo = 0x4,
  kMbRetryCancel = 0x5,
  kMbDefaultSecond = 0x100,  // the second button is the default (No, for a question that deletes)
  kMbIconError = 0x10, kMbIconQuestion = 0x20, kMbIconExclamation = 0x30, kMbIconInformation = 0x40,
};
enum : int { kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6, kIdNo = 7 };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual int messageBox(const std::string& text, const std::string& title, unsigned flags) = 0;
};

// The system's open-file dialog.
class FileDialog {
 public:
  virtual ~FileDialog() = default;
  // Lets the user pick one existing file; false when the dialog was cancelled or failed.
  virtual bool chooseFile(const std::string& title, std::string& path) = 0;
};

// Gives the message loop a turn; long loops call it once per item.
class Pump {
 public:
  virtual ~Pump() = default;
  virtual void yield() = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::string nowText() = 0;  // current local date and time in the program's form
  // The same moment as fields; the weekday follows from the date (see weekdayOf).
  virtual DateTime localTime() = 0;
};

}  // namespace quillon
