#include "shell/app_folder.h"

namespace quillon {

std::string appFolderOf(const std::string& exePath) {
  size_t p = exePath.rfind('\\');
  return p == std::string::npos ? std::string() : exePath.substr(0, p);
}

std::string appFolderProblem(const std::string& exePath, const std::string& productName) {
  const std::string folder = appFolderOf(exePath);
  const bool absolute = (folder.size() >= 2 && folder[1] == ':') || folder.rfind("\\\\", 0) == 0;
  if (exePath.empty() || folder.empty() || !absolute)
    return productName + " could not find the folder it was started from, so it cannot run.";
  if (folder.size() + 1 + kLongestDataName >= kMaxPath)
    return productName + " cannot run from this folder because its path is too long:\r\n\r\n" + folder +
           "\r\n\r\nPlease move " + productName + " to a folder with a shorter path (at most " +
           std::to_string(kMaxPath - 2 - kLongestDataName) + " characters) and start it again.";
  return "";
}

}  // namespace quillon
