// The complete system scan's own phase. The file scan looks only where the definitions say a
// threat lives; a threat installed anywhere else goes unseen. The walk visits every checked
// drive once, folder by folder, and reports each file that carries the name of a file
// definition in a folder the definitions do not already name, judged by the file scan's rules
// (the program's own files, exclusions, the system's publisher). Its findings are ordinary
// file rows, so removal treats them as any other.
//
// Links and junctions are never entered: they lead to other places of the disk, among them the
// walk's own ancestors. The files of a folder that a directory definition names are left to
// the directory scan, which reports, excludes or protects that folder as a whole.
#pragma once
#include <string>
#include <vector>

#include "scan/scan_state.h"

namespace quillon {

struct DriveWalkOptions {
  // Longest stretch between two turns of the message loop, so that Stop and Pause act within
  // it; 0 turns it after every entry.
  int yieldIntervalMs = 15;
};

// Walks each root ("C:\" or any folder) once, in order. Counts every file and folder looked at
// in FilesInspected and shows the folder being walked in the status line.
void walkDrives(ScanEnv& env, const std::vector<std::string>& roots, const DriveWalkOptions& options = {});

// ---- the drive list of the options page
struct ListedDrive {
  char letter = 0;
  // Only the machine's own fixed disks are walked unless the user says otherwise: a removable,
  // network or substituted drive, or one that maps the host's file system under Wine, holds
  // what is not this machine's or what another drive already holds.
  bool checkedByDefault = false;
};
// The drives the list offers, in the system's order: removable, network and CD-ROM drives
// always (an empty one too), fixed disks only when ready, nothing else. Yields after each.
std::vector<ListedDrive> listedDrives(Drives& drives, Pump& pump);

}  // namespace quillon
