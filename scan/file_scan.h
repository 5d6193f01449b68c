#pragma once
#include "scan/scan_state.h"

namespace quillon {

// The last phase of every scan: the files of FileDefinition.dat, then the folders of
// DirectoryDefinition.dat, one definition line at a time.
void scanFiles(ScanEnv& env);
void scanDirectories(ScanEnv& env);

}  // namespace quillon
