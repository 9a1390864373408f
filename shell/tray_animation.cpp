#include "shell/tray_animation.h"

namespace velmor {

int TrayAnimation::Step() {
  if (down_) {
    if (--frame_ < 0) {
      frame_ = 1;
      down_ = false;
    }
  } else if (++frame_ > kLastFrame) {
    frame_ = kLastFrame - 1;
    down_ = true;
  }
  return frame_;
}

}  // namespace velmor
