#include "platform/controls.h"

#include <utility>

namespace velmor {

TControl::TControl(std::string name, TControl* parent, TRect bounds)
    : name_(std::move(name)), parent_(parent), bounds_(bounds) {}

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

TContainer::TContainer(std::string name, TControl* parent, TRect bounds, std::string caption)
    : TControl(std::move(name), parent, bounds), caption_(std::move(caption)) {}

TLabel::TLabel(std::string name, TControl* parent, TRect bounds, std::string caption,
               bool word_wrap)
    : TControl(std::move(name), parent, bounds),
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
    : TControl(std::move(name), parent, bounds), text_(std::move(text)) {}

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
    : TControl(std::move(name), parent, bounds), caption_(std::move(caption)) {}

void TButton::SetFontColor(TColor color) {
  if (font_color_ == color) return;
  font_color_ = color;
  Changed();
}

void TButton::Click() const {
  if (OnClick) OnClick();
}

TMenuItem::TMenuItem(std::string name, std::string caption)
    : name_(std::move(name)), caption_(std::move(caption)) {}

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

void TTimer::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Changed();
}

void TTimer::SetInterval(int interval_ms) {
  if (interval_ == interval_ms) return;
  interval_ = interval_ms;
  Changed();
}

void TTimer::Tick() const {
  if (enabled_ && OnTimer) OnTimer();
}

void TTimer::Changed() const {
  if (observer_) observer_();
}

}  // namespace velmor
