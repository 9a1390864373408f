#pragma once

// The swing of the tray emblem: frames 0 to 15 and back, one step per tick of AnimTimer.
// Holds only the frame counter; the main window shows the frames. Main thread only.
namespace velmor {

class TrayAnimation {
 public:
  // The picture of a stopped relay: the emblem crossed out.
  static constexpr int kStoppedImage = 16;
  // The still picture of a running relay, and the first frame of every swing.
  static constexpr int kStillImage = 0;
  // Milliseconds between two frames.
  static constexpr int kInterval = 75;

  // One step: counts up to 15, turns, counts down to 0, turns. Returns the frame to show.
  int Step();

  // After Start or Stop: the next step shows frame 0 and then swings upwards.
  void Rewind() {
    frame_ = 1;
    down_ = true;
  }

  // Animation switched off: the still frame 0; switched on again, it swings upwards from it.
  void Stand() {
    frame_ = 0;
    down_ = false;
  }

 private:
  static constexpr int kLastFrame = 15;

  int frame_ = 0;
  bool down_ = false;
};

}  // namespace velmor
