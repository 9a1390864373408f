#pragma once

#include <string>
#include <vector>

#include "platform/tray_icon.h"

namespace velmor::testing {

// Remembers the registered picture and tip, and how often each call came.
class FakeTrayIcon : public TrayIcon {
 public:
  bool Available() const override { return available; }
  void Add(const IconImage& image, const std::string& text) override {
    ++adds;
    picture = image;
    tip = text;
    registered = true;
  }
  void Modify(const IconImage& image, const std::string& text) override {
    ++modifies;
    picture = image;
    tip = text;
  }
  void Remove() override {
    ++removes;
    registered = false;
  }
  void PopUpMenuAtCursor() override { ++popups; }
  // What the desktop reports of the user's mouse.
  void Event(TrayEvent event) const { Notify(event); }

  bool available = true;
  bool registered = false;
  IconImage picture;
  std::string tip;
  int adds = 0;
  int modifies = 0;
  int removes = 0;
  int popups = 0;
};

}  // namespace velmor::testing
