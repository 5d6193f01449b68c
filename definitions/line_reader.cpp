#include "definitions/line_reader.h"

namespace quillon {

bool LineReader::fill() {
  if (eof_ || !file_) return false;
  len_ = file_->read(buf_, sizeof buf_);
  pos_ = 0;
  if (len_ == 0) eof_ = true;
  return len_ > 0;
}

bool LineReader::next(std::string& line) {
  line.clear();
  if (pos_ >= len_ && !fill()) return false;
  for (;;) {
    while (pos_ < len_) {
      char c = buf_[pos_++];
      if (c == '\r') {
        // Swallow the LF of a CR LF pair, which may sit at the start of the next block.
        if (pos_ >= len_) fill();
        if (pos_ < len_ && buf_[pos_] == '\n') ++pos_;
        return true;
      }
      line.push_back(c);
    }
    if (!fill()) return true;  // last line without a line end
  }
}

}  // namespace quillon
