#pragma once
#include <string>

#include "definitions/grammar.h"
#include "scan/scan_state.h"

namespace quillon {

// The last phase of every scan: the files of FileDefinition.dat, then the folders of
// DirectoryDefinition.dat, one definition line at a time.
void scanFiles(ScanEnv& env);
void scanDirectories(ScanEnv& env);

// A FileDefinition.dat line (deciphered) taken apart: the file name, trimmed, and the path it
// names once "[drive]" and the folder tokens are expanded.
struct FileDefinitionLine {
  PathDefinition definition;
  std::string fileName, path;
};
FileDefinitionLine readFileDefinitionLine(const ScanEnv& env, const std::string& line);
// A DirectoryDefinition.dat folder as the directory scan looks for it.
std::string expandDefinitionFolder(const ScanEnv& env, const std::string& folder);
// What the file scan does with a file that is there: nothing for the program's own files and
// the system's, an "EXCLUDED: " row for an excluded one, otherwise a finding of the line's
// threat.
void judgePresentFile(ScanEnv& env, const std::string& path, const PathDefinition& d, const std::string& fileName);

}  // namespace quillon
