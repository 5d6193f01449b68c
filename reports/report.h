// The plain-text scan report "Scan_Log.txt" and the text its viewer shows.
#pragma once
#include <string>

#include "definitions/definition_store.h"
#include "platform/platform.h"
#include "scan/scan_results.h"
#include "scan/scan_run.h"

namespace quillon {

struct ReportInputs {
  std::string productName;
  int major = 0, minor = 0;
  std::string startedAt, finishedAt;
  std::string processesCaption, registryCaption, filesCaption;  // the counter labels as shown
  const ScanResults& results;  // its removal list is what the report lists
};

// Replaces the report of the previous scan, whatever its attributes. False when this run's
// report could not be written whole; no older report is then left to pass for it.
bool makeReport(FileSystem& fs, const std::string& appFolder, const ReportInputs& in);
// The report of a finished scan run.
bool writeScanReport(FileSystem& fs, const std::string& appFolder, const Branding& branding, const ScanOutcome& run,
                     const ScanResults& results);
// What the viewer shows: each text line as is, each blank line as one line break.
std::string reportViewerText(FileSystem& fs, Pump& pump, const std::string& appFolder);

}  // namespace quillon
