// How the tray popup moves: up from just below the free screen area until it stands on its
// bottom edge, still while the mouse moves over it, and down again after six idle seconds.
#pragma once
#include <cstdint>

namespace quillon {

class TrayPopupMotion {
 public:
  // Its steps are given in twips; the window moves in whole pixels.
  static constexpr int kTwipsPerPixel = 15, kUpStep = 80, kDownStep = 100;
  // `bottom` is the bottom edge of the free area, `height` the popup's outer height, in pixels.
  void start(int bottom, int height);
  // One tick of the slide up; false once it has arrived (that tick moves nothing).
  bool stepUp();
  // One second without a mouse movement; true when the sixth has passed (the count starts again).
  bool idleSecond();
  void mouseMoved() { idleSeconds = 0; }
  // One tick of the slide down; false once the top has passed the bottom of the free area.
  bool stepDown();

  int top() const { return topTwips_ / kTwipsPerPixel; }  // in pixels
  int topTwips() const { return topTwips_; }
  int finalTopTwips() const { return finalTopTwips_; }
  int32_t idleSeconds = 0;

 private:
  int topTwips_ = 0, finalTopTwips_ = 0, bottomTwips_ = 0;
};

}  // namespace quillon
