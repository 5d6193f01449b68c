#include "shell/tray_popup.h"

#include <algorithm>

namespace quillon {

void TrayPopupMotion::start(int bottom, int height) {
  bottomTwips_ = bottom * kTwipsPerPixel;
  finalTopTwips_ = (bottom - height) * kTwipsPerPixel;
  topTwips_ = bottomTwips_;
  idleSeconds = 0;
}

bool TrayPopupMotion::stepUp() {
  if (topTwips_ <= finalTopTwips_) return false;
  topTwips_ = std::max(topTwips_ - kUpStep, finalTopTwips_);
  return true;
}

bool TrayPopupMotion::idleSecond() {
  if (++idleSeconds <= 5) return false;
  idleSeconds = 0;
  return true;
}

// Gone once its top has passed the bottom of the free area: wholly out of the user's way.
bool TrayPopupMotion::stepDown() {
  topTwips_ += kDownStep;
  return topTwips_ <= bottomTwips_;
}

}  // namespace quillon
