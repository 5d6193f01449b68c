#include "scan/company_name.h"

#include <algorithm>

namespace quillon {

namespace {
// The 16-bit form of a text: a zero byte before each character.
std::string wide(const char* s) {
  std::string w;
  for (; *s; ++s) {
    w.push_back('\0');
    w.push_back(*s);
  }
  return w;
}
}  // namespace

std::string companyNameFromBytes(const std::string& bytes) {
  static const std::string kInfoW = wide("StringFileInfo"), kCompanyW = wide("CompanyName"),
                           kNextW = wide("FileDescription");
  const auto npos = std::string::npos;
  size_t p = bytes.find(kInfoW);
  size_t q = npos, offset = 26;
  std::string next = kNextW;
  if (p == npos) {
    p = bytes.find("StringFileInfo");
    if (p == npos) p = 0;
    q = bytes.find("CompanyName", p);
    offset = 12;
    next = "FileDescription";
  }
  if (q == npos) {
    q = bytes.find(kCompanyW, p);
    offset = 26;
    next = kNextW;
  }
  if (q == npos) return "";
  size_t start = q + offset;
  if (start >= bytes.size()) return "";
  size_t end = bytes.find(std::string(3, '\0'), start);
  std::string value = bytes.substr(start, end == npos ? npos : end - start);
  if (value.find(next) != npos) {
    size_t limit = std::min(bytes.size(), start + 255);
    size_t stop = start;
    while (stop < limit && static_cast<unsigned char>(bytes[stop]) >= 32) ++stop;
    value = bytes.substr(start, stop - start);
  }
  value.erase(std::remove(value.begin(), value.end(), '\0'), value.end());
  return value;
}

std::string readCompanyName(FileSystem& fs, const std::string& path) {
  std::string bytes;
  if (!fs.readAll(path, bytes)) return "";
  return companyNameFromBytes(bytes);
}

}  // namespace quillon
