#include "gui_qt/qt_dispatcher.h"

#include <QMetaObject>

namespace velmor {

void QtDispatcher::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(receiver_, std::move(task), Qt::QueuedConnection);
}

}  // namespace velmor
