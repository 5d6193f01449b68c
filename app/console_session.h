// What the console front-end (and the self-test) keeps for its runs, without any window: the
// settings, the definitions, the exclusions and the results, loaded as the desktop program loads
// them, and the scan, removal and Live Update runs started as its buttons start them. Questions
// go to the platform's message boxes, which the console answers.
#pragma once
#include <string>

#include "definitions/definition_store.h"
#include "definitions/exclusions.h"
#include "removal/removal_run.h"
#include "scan/scan_run.h"
#include "system/settings.h"
#include "update/update_run.h"

namespace quillon {

class ConsoleSession : private ScanRunHost, private RemovalRunHost {
 public:
  ConsoleSession(Platform& platform, std::string exePath, Branding branding);

  // Prepares the application folder as the desktop program's start does; false (and said
  // through a message box) when the program cannot use its folder.
  bool load();
  // The scan "Start" runs; a complete scan also walks the stored drives. Records the last scan
  // and writes the report as the options say (`reportFailed` when it could not be written).
  ScanOutcome scan(bool complete);
  // "Select All", then the removal "Delete" runs, after its question.
  RemovalRunOutcome removeAll();
  LiveUpdateRunOutcome update(std::vector<std::string> publisherKeys);

  Platform& platform;
  const std::string exePath, appFolder;
  const Branding branding;
  Settings settings;
  DefinitionStore defs;
  ExclusionList exclusions;
  DefinitionCounts counts;
  ScanCounters counters;
  ScanResults results;
  bool reportFailed = false;

 private:
  void definitionsMissing() override;
  void definitionsBusy(const std::string& text) override;
  void nothingChecked() override;
  bool confirm(const std::string& question, const std::string& title) override;
  void refused(const std::string& text) override;

  ExecutableList exeList_;
  OwnPrograms own_;
  RestorePoints restorePoints_;
};

}  // namespace quillon
