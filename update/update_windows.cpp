#include "update/update_windows.h"

#include <cmath>

namespace quillon {

std::string DownloadBlink::tick() {
  std::string caption;
  pictureDownShown = !pictureDownShown;
  caption = pictureDownShown ? "Checking for Definitions....." : "Connecting to server.....";
  if (stage >= 15) stage = 0;
  switch (stage) {
    case 0: caption = "Connecting to the Server."; break;
    case 6: caption = "Successfully sent the request."; break;
    case 8: caption = "Receiving a response from the Server."; break;
    case 1: case 7: case 9: break;  // the picture's own text stays
    default: caption = "Sending and receiving data, please wait."; break;
  }
  ++stage;
  return caption;
}

namespace {
int twipsY(int px) { return int(std::lround(px * NoticeSlide::kTwipsPerPixelY)); }
}  // namespace

void NoticeSlide::start(int workRightPx, int workBottomPx, int screenBottomPx, int widthPx, int heightPx) {
  top_ = twipsY(workBottomPx);
  target_ = twipsY(workBottomPx) - (twipsY(heightPx) + 100);
  end_ = twipsY(screenBottomPx);
  leftPx_ = workRightPx - widthPx;
}

bool NoticeSlide::up() {
  if (top_ <= target_) return false;
  top_ -= kUpStep;
  return true;
}

bool NoticeSlide::down() {
  top_ += kDownStep;
  return top_ <= end_;
}

int NoticeSlide::topPx() const { return int(std::lround(top_ / kTwipsPerPixelY)); }

}  // namespace quillon
