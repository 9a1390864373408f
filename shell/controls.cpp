#include "shell/controls.h"

#include <algorithm>
#include <utility>

namespace velmor {

TControl::TControl(ControlKind kind, std::string name, TControl* parent, TRect bounds,
                   Anchors anchors)
    : kind_(kind), name_(std::move(name)), parent_(parent), bounds_(bounds), anchors_(anchors) {}

bool TControl::TabStop() const {
  return kind_ == ControlKind::kEdit || kind_ == ControlKind::kButton ||
         kind_ == ControlKind::kLogPane;
}

void TControl::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Changed();
}

void TControl::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Changed();
}

void TControl::Changed() const {
  if (observer_) observer_();
}

TRect PlaceInParent(const TControl& control, int client_width, int client_height, int nominal_width,
                    int nominal_height) {
  int width = client_width;
  int height = client_height;
  if (const TControl* parent = control.Parent()) {
    const TRect placed =
        PlaceInParent(*parent, client_width, client_height, nominal_width, nominal_height);
    width = placed.width;
    height = placed.height;
    nominal_width = parent->Bounds().width;
    nominal_height = parent->Bounds().height;
  }
  TRect rect = control.Bounds();
  if (control.Anchoring().right) {
    rect.width = std::max(0, rect.width + width - nominal_width);
  }
  if (control.Anchoring().bottom) {
    rect.height = std::max(0, rect.height + height - nominal_height);
  }
  return rect;
}

TContainer::TContainer(ControlKind kind, std::string name, TControl* parent, TRect bounds,
                       std::string caption, Anchors anchors)
    : TControl(kind, std::move(name), parent, bounds, anchors), caption_(std::move(caption)) {}

TLabel::TLabel(std::string name, TControl* parent, TRect bounds, std::string caption,
               bool word_wrap)
    : TControl(ControlKind::kLabel, std::move(name), parent, bounds),
      caption_(std::move(caption)),
      word_wrap_(word_wrap) {}

void TLabel::SetCaption(std::string caption) {
  if (caption_ == caption) return;
  caption_ = std::move(caption);
  Changed();
}

void TLabel::SetFontColor(TColor color) {
  if (font_color_ == color) return;
  font_color_ = color;
  Changed();
}

TEdit::TEdit(std::string name, TControl* parent, TRect bounds, std::string text)
    : TControl(ControlKind::kEdit, std::move(name), parent, bounds), text_(std::move(text)) {}

void TEdit::SetText(std::string text) {
  if (text_ == text) return;
  text_ = std::move(text);
  Changed();
  if (OnChange) OnChange();
}

void TEdit::SetReadOnly(bool read_only) {
  if (read_only_ == read_only) return;
  read_only_ = read_only;
  Changed();
}

void TEdit::SetColor(TColor color) {
  if (color_ == color) return;
  color_ = color;
  Changed();
}

TButton::TButton(std::string name, TControl* parent, TRect bounds, std::string caption)
    : TControl(ControlKind::kButton, std::move(name), parent, bounds),
      caption_(std::move(caption)) {}

void TButton::SetFontColor(TColor color) {
  if (font_color_ == color) return;
  font_color_ = color;
  Changed();
}

void TButton::Click() const {
  if (OnClick) OnClick();
}

TMenuItem::TMenuItem(std::string name, std::string caption, bool checkable)
    : name_(std::move(name)), caption_(std::move(caption)), checkable_(checkable) {}

void TMenuItem::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Changed();
}

void TMenuItem::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Changed();
}

void TMenuItem::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  Changed();
}

void TMenuItem::Click() const {
  if (OnClick) OnClick();
}

void TMenuItem::Changed() const {
  if (observer_) observer_();
}

}  // namespace velmor
