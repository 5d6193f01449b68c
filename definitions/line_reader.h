// Streams a text file line by line without holding it whole: a line ends at CR LF or at a
// lone CR; a lone LF is an ordinary character. Definition files can hold a million lines, so
// readers never load them into memory.
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace quillon {

class LineReader {
 public:
  explicit LineReader(std::unique_ptr<InputFile> file) : file_(std::move(file)) {}
  bool isOpen() const { return file_ != nullptr; }
  // Reads the next line into `line`; false at end of file (a final line without a line end
  // still counts as a line).
  bool next(std::string& line);
  // The same lines without a copy where it can: `line` holds until the next call. Only one of
  // the two is used on a reader.
  bool nextView(std::string_view& line);

 private:
  bool fill();
  std::unique_ptr<InputFile> file_;
  char buf_[64 * 1024];
  size_t pos_ = 0, len_ = 0;
  bool eof_ = false;
  bool skipLf_ = false;  // a CR ended the last block: an LF that starts the next one is its pair
  std::string carry_;    // a line that runs over the end of a block
};

}  // namespace quillon
