#pragma once
#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace quillon {

// The company name of a file's version information, found by scanning its bytes (so that
// it works for any file, resource section or not); "" when there is none or on any error.
// The file is streamed: memory stays the same whatever its size.
std::string readCompanyName(FileSystem& fs, const std::string& path);
// True for the company name of the system's own files, which are never reported.
bool isSystemPublisher(const std::string& company);
// What one opening of a file tells about it: whether it is a program (an executable image, or
// a script by its extension: the system runs both), its maker (an image's), and, when asked for, the final
// path the system resolves it to. A file that cannot be opened is a program by its extension
// alone.
struct FileLook {
  bool opened = false, program = false;
  std::string company, finalPath;
};
FileLook lookAtFile(FileSystem& fs, const std::string& path, bool wantFinalPath = false);
// The same look through a file already open (`path` for its extension), read from where it
// stands; its final path is not asked. A caller that reads on moves back first.
FileLook lookThrough(InputFile& in, const std::string& path);
// What the name alone says, as lookAtFile says of a file it could not open.
FileLook lookByName(const std::string& path);
// The same search over bytes already in memory, without the value's length limit.
std::string companyNameFromBytes(const std::string& bytes);

// A file is searched in pieces of this size.
constexpr size_t kCompanyChunk = 1 << 20;
// At most this much of the value is read and looked at. A file without the three NULs that end
// the value would otherwise be returned to its end; a real company name is far shorter.
constexpr size_t kCompanyValueMax = 64 * 1024;

// What companyNameFromBytes gives on the stream's whole content (the value cut to
// kCompanyValueMax bytes), reading `chunk` bytes at a time: one pass finds where the value
// starts, then the stream moves there to read it. "" when the stream cannot move.
std::string companyNameFromStream(InputFile& in, size_t chunk = kCompanyChunk);

}  // namespace quillon
