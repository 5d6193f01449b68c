// What the two Live Update windows show and where the notice is: the download window's
// animated caption and the update notice's slide, free of any window.
#pragma once
#include <string>

namespace quillon {

// The download window's caption for one tick of its 800 ms timer. `pictureDownShown` says
// which of its two pictures the tick leaves showing; the stage counter runs 0..14 and the
// texts repeat every 15 ticks.
struct DownloadBlink {
  int stage = 0;
  bool pictureDownShown = false;
  // Advances one tick and returns the caption to show.
  std::string tick();
};

// The notice's vertical slide, in twips as the program has always positioned it (14.5 twips
// per pixel vertically, 14.7 horizontally, whatever the system's own factor).
class NoticeSlide {
 public:
  static constexpr double kTwipsPerPixelY = 14.5, kTwipsPerPixelX = 14.7;
  static constexpr int kUpStep = 20, kDownStep = 40;  // twips per 10 ms tick
  // Starts at the upper edge of the taskbar (the bottom of the work area), comes to rest 100
  // twips above it, and is gone once its top is below the bottom of the screen. The notice is
  // right-aligned with the work area.
  void start(int workRightPx, int workBottomPx, int screenBottomPx, int widthPx, int heightPx);
  // One tick upwards; false once it has arrived (the tick moved nothing).
  bool up();
  // One tick downwards; false once it is gone.
  bool down();
  int top() const { return top_; }
  int target() const { return target_; }
  int end() const { return end_; }
  int topPx() const;
  int leftPx() const { return leftPx_; }

 private:
  int top_ = 0, target_ = 0, end_ = 0, leftPx_ = 0;
};

}  // namespace quillon
