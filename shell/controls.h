#pragma once

#include <functional>
#include <string>

#include "platform/color.h"

// Standard controls as plain objects: each holds its state (text, visibility, colours, ...)
// and runs its handlers. A view (the Qt window, or nothing in tests) mirrors the state
// through the observer and feeds the user's input back through the same setters.
// All controls belong to the main thread.
namespace velmor {

// Left, top, width and height in pixels within the parent, at the window's nominal size.
struct TRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

class TControl {
 public:
  TControl(std::string name, TControl* parent, TRect bounds);
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  virtual ~TControl() = default;

  const std::string& Name() const { return name_; }
  TControl* Parent() const { return parent_; }
  TRect Bounds() const { return bounds_; }

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // The view's hook: called after every change of state.
  void SetObserver(std::function<void()> observer) { observer_ = std::move(observer); }

 protected:
  void Changed() const;

 private:
  std::string name_;
  TControl* parent_;
  TRect bounds_;
  bool visible_ = true;
  bool enabled_ = true;
  std::function<void()> observer_;
};

// Group box, panel: containers with an optional caption.
class TContainer : public TControl {
 public:
  TContainer(std::string name, TControl* parent, TRect bounds, std::string caption = {});
  const std::string& Caption() const { return caption_; }

 private:
  std::string caption_;
};

class TLabel : public TControl {
 public:
  TLabel(std::string name, TControl* parent, TRect bounds, std::string caption,
         bool word_wrap = false);
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  TColor FontColor() const { return font_color_; }
  void SetFontColor(TColor color);
  bool WordWrap() const { return word_wrap_; }

 private:
  std::string caption_;
  TColor font_color_ = clWindowText;
  bool word_wrap_;
};

class TEdit : public TControl {
 public:
  TEdit(std::string name, TControl* parent, TRect bounds, std::string text);
  const std::string& Text() const { return text_; }
  // Runs OnChange at once when the text differs from the current one.
  void SetText(std::string text);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only);
  TColor Color() const { return color_; }
  void SetColor(TColor color);

  std::function<void()> OnChange;

 private:
  std::string text_;
  bool read_only_ = false;
  TColor color_ = clWindow;
};

class TButton : public TControl {
 public:
  TButton(std::string name, TControl* parent, TRect bounds, std::string caption);
  const std::string& Caption() const { return caption_; }
  TColor FontColor() const { return font_color_; }
  void SetFontColor(TColor color);
  void Click() const;

  std::function<void()> OnClick;

 private:
  std::string caption_;
  TColor font_color_ = clWindowText;
};

// An entry of a popup menu; a separator has the caption "-".
class TMenuItem {
 public:
  TMenuItem(std::string name, std::string caption);
  TMenuItem(const TMenuItem&) = delete;
  TMenuItem& operator=(const TMenuItem&) = delete;

  const std::string& Name() const { return name_; }
  const std::string& Caption() const { return caption_; }
  bool IsSeparator() const { return caption_ == "-"; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  void Click() const;
  void SetObserver(std::function<void()> observer) { observer_ = std::move(observer); }

  std::function<void()> OnClick;

 private:
  void Changed() const;

  std::string name_;
  std::string caption_;
  bool visible_ = true;
  bool enabled_ = true;
  bool checked_ = false;
  std::function<void()> observer_;
};

// A timer's state; the platform ticks it on the main thread while it is enabled.
class TTimer {
 public:
  explicit TTimer(int interval_ms) : interval_(interval_ms) {}
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  int Interval() const { return interval_; }
  void SetInterval(int interval_ms);
  // One tick: runs OnTimer when the timer is enabled.
  void Tick() const;
  void SetObserver(std::function<void()> observer) { observer_ = std::move(observer); }

  std::function<void()> OnTimer;

 private:
  void Changed() const;

  bool enabled_ = false;
  int interval_;
  std::function<void()> observer_;
};

}  // namespace velmor
