// What the stored options say a run does, and what a finished run leaves in the settings: the
// same for the desktop window and the console, so that both run the same scan and removal.
#pragma once
#include <string>
#include <vector>

#include "scan/drive_walk.h"
#include "scan/scan_run.h"
#include "system/settings.h"
#include "update/update_run.h"

namespace quillon {

// The phases the options page switched on. The scan type and the drives are the caller's: the
// window reads its own controls, the console its command line and the stored drive list.
ScanOptions scanOptions(const Settings& settings);
// The drives of `listed` whose stored check state is on (absent: the drive's default), as roots
// a complete scan walks, each only while it holds a volume.
std::vector<std::string> storedDriveRoots(const Settings& settings, const std::vector<ListedDrive>& listed,
                                          Drives& drives);
// The finish time as the last scan (and, for a complete scan, the last full scan).
void recordScan(Settings& settings, const ScanOutcome& outcome, bool complete);
// The options page's scan type is "Complete System Scan".
bool completeScanChosen(const Settings& settings);
// "Save scan results to log".
bool reportWanted(const Settings& settings);
// "Send anonymous data".
bool sendDataWanted(const Settings& settings);
// Where Live Update asks and what it takes: the stored server, the administrator's choice.
LiveUpdateOptions liveUpdateOptions(const Settings& settings, const Branding& branding,
                                    std::vector<std::string> publisherKeys);
// Adds what a removal really removed to the running total "Threats removed so far".
void addToRemovedTotal(Settings& settings, size_t removed);

}  // namespace quillon
