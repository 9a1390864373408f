#include "gui_qt/qt_dispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>

namespace velmor {

void QtDispatcher::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(receiver_, std::move(task), Qt::QueuedConnection);
}

void QtDispatcher::RunPending() {
  // A queued call is a MetaCall event posted to the receiver.
  QCoreApplication::sendPostedEvents(receiver_, QEvent::MetaCall);
}

}  // namespace velmor
