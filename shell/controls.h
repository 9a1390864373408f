#pragma once

#include <functional>
#include <string>

#include "platform/color.h"
#include "speech/conversation_log.h"

// Standard controls as plain objects: each holds its state (text, visibility, colours, ...)
// and runs its handlers. The main window declares them once, in order, with their kind,
// parent and nominal place; a desktop builds one native widget per control by walking that
// declaration, mirrors the state through the observer and feeds the user's input back
// through the same setters. All controls belong to the main thread.
namespace velmor {

// Left, top, width and height in pixels within the parent, at the window's nominal size.
struct TRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const TRect&) const = default;
};

enum class ControlKind { kPanel, kGroupBox, kLabel, kEdit, kButton, kLogPane };

// The edges of its parent that a control keeps its nominal distance to when the parent
// grows or shrinks. Left and top always hold; a control anchored on both sides of an axis
// stretches along it.
struct Anchors {
  bool right = false;
  bool bottom = false;
};

class TControl {
 public:
  TControl(ControlKind kind, std::string name, TControl* parent, TRect bounds,
           Anchors anchors = {});
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  virtual ~TControl() = default;

  ControlKind Kind() const { return kind_; }
  const std::string& Name() const { return name_; }
  TControl* Parent() const { return parent_; }
  TRect Bounds() const { return bounds_; }
  Anchors Anchoring() const { return anchors_; }
  // Whether the user reaches it with Tab: fields, buttons and the log pane.
  bool TabStop() const;

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // The view's hook: called after every change of state.
  void SetObserver(std::function<void()> observer) { observer_ = std::move(observer); }

 protected:
  void Changed() const;

 private:
  ControlKind kind_;
  std::string name_;
  TControl* parent_;
  TRect bounds_;
  Anchors anchors_;
  bool visible_ = true;
  bool enabled_ = true;
  std::function<void()> observer_;
};

// Where `control` stands within its parent when the window's client area is `client_width`
// x `client_height` at the nominal scale, and the window's nominal client area is
// `nominal_width` x `nominal_height`.
TRect PlaceInParent(const TControl& control, int client_width, int client_height, int nominal_width,
                    int nominal_height);

// Panel, group box: containers with an optional caption.
class TContainer : public TControl {
 public:
  TContainer(ControlKind kind, std::string name, TControl* parent, TRect bounds,
             std::string caption = {}, Anchors anchors = {});
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
  // The field this label names, for screen readers and its access key; may be null.
  TControl* FocusControl = nullptr;

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

// The read-only rich-text pane: the conversation log as a control of the window. Its lines
// reach the view through the log's own observers.
class TLogPane : public TControl, public ConversationLog {
 public:
  TLogPane(std::string name, TControl* parent, TRect bounds, Anchors anchors)
      : TControl(ControlKind::kLogPane, std::move(name), parent, bounds, anchors) {}
};

// An entry of a popup menu; a separator has the caption "-".
class TMenuItem {
 public:
  TMenuItem(std::string name, std::string caption, bool checkable = false);
  TMenuItem(const TMenuItem&) = delete;
  TMenuItem& operator=(const TMenuItem&) = delete;

  const std::string& Name() const { return name_; }
  const std::string& Caption() const { return caption_; }
  bool IsSeparator() const { return caption_ == "-"; }
  // Whether the entry shows a check mark when checked.
  bool Checkable() const { return checkable_; }
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
  bool checkable_;
  bool visible_ = true;
  bool enabled_ = true;
  bool checked_ = false;
  std::function<void()> observer_;
};

}  // namespace velmor
