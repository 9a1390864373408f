#pragma once

#include <QWidget>

#include "speech/media_triggers.h"

namespace velmor {

// The sound players' control bar (240 x 30) at the window's top-left corner, shown while
// at least one sound player exists. Its buttons act on the newest sound player.
class MediaBar : public QWidget {
 public:
  MediaBar(MediaTriggers& media, QWidget* parent);

 private:
  void Sync();

  MediaTriggers& media_;
};

}  // namespace velmor
