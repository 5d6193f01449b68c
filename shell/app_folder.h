// The application folder: the folder of the executable, where every data file lives.
#pragma once
#include <string>

namespace quillon {

// The longest path the system's classic file functions take, terminator included.
constexpr size_t kMaxPath = 260;
// Room kept for the longest name the program puts below its folder
// ("quarantine\QuarantineLog.txt", "DLRegistryDefinition.dat", ...).
constexpr size_t kLongestDataName = 40;

// The folder part of an executable's path ("" when the path holds no folder).
std::string appFolderOf(const std::string& exePath);

// Empty when the program can work in the folder of `exePath`; otherwise the message that tells
// the user why it cannot. A path that could not be had whole, is not absolute, or leaves no
// room for the data file names within the classic path limit is refused: acting on a cut path
// would act on some other folder.
std::string appFolderProblem(const std::string& exePath, const std::string& productName);

}  // namespace quillon
