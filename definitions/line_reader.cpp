#include "definitions/line_reader.h"

#include <cstring>

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

bool LineReader::nextView(std::string_view& line) {
  carry_.clear();
  bool started = false;
  for (;;) {
    if (pos_ >= len_) {
      if (!fill()) {
        line = carry_;
        return started;  // the last line without a line end, or nothing more
      }
      if (skipLf_ && buf_[0] == '\n') pos_ = 1;
      skipLf_ = false;
      continue;
    }
    started = true;
    const char* from = buf_ + pos_;
    const char* cr = static_cast<const char*>(std::memchr(from, '\r', len_ - pos_));
    if (!cr) {
      carry_.append(from, len_ - pos_);
      pos_ = len_;
      continue;
    }
    const size_t n = size_t(cr - from);
    pos_ += n + 1;
    if (pos_ < len_) {
      if (buf_[pos_] == '\n') ++pos_;
    } else {
      skipLf_ = true;
    }
    if (carry_.empty()) {
      line = std::string_view(from, n);
    } else {
      carry_.append(from, n);
      line = carry_;
    }
    return true;
  }
}

}  // namespace quillon
