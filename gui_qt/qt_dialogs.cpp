#include "gui_qt/qt_dialogs.h"

#include <QMessageBox>

#include "gui_qt/win1252.h"

namespace velmor {

void QtDialogs::Show(int icon, const std::string& text, const std::string& caption) {
  if (closed_) return;
  QMessageBox box(static_cast<QMessageBox::Icon>(icon), ToQString(caption), ToQString(text),
                  QMessageBox::Ok, parent_);
  open_.emplace_back(&box);
  box.exec();
  open_.pop_back();
}

void QtDialogs::ShowError(const std::string& text, const std::string& caption) {
  Show(QMessageBox::Critical, text, caption);
}

void QtDialogs::ShowWarning(const std::string& text, const std::string& caption) {
  Show(QMessageBox::Warning, text, caption);
}

void QtDialogs::CloseAll() {
  closed_ = true;
  for (const QPointer<QMessageBox>& box : open_) {
    if (box) box->done(QMessageBox::Ok);
  }
}

}  // namespace velmor
