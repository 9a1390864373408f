#include "gui_qt/qt_dialogs.h"

#include <QMessageBox>

#include "gui_qt/win1252.h"

namespace velmor {
namespace {

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const std::string& text,
             const std::string& caption) {
  QMessageBox box(icon, ToQString(caption), ToQString(text), QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace

void QtDialogs::ShowError(const std::string& text, const std::string& caption) {
  ShowBox(parent_, QMessageBox::Critical, text, caption);
}

void QtDialogs::ShowWarning(const std::string& text, const std::string& caption) {
  ShowBox(parent_, QMessageBox::Warning, text, caption);
}

}  // namespace velmor
