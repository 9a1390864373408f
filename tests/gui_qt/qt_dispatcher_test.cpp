#include "gui_qt/qt_dispatcher.h"

#include <QCoreApplication>

#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace velmor {
namespace {

// The exit steps run with the event loop stopped or about to stop: what workers posted
// before them must still run, in order.
TEST(QtDispatcherTest, RunPendingRunsWhatWasPostedWithoutTheLoop) {
  // The application is the one that qt_application.cpp makes for every test here.
  QtDispatcher dispatcher(QCoreApplication::instance());
  std::string ran;
  std::thread worker([&] {
    dispatcher.Post([&] { ran += "a"; });
    dispatcher.Post([&] { ran += "b"; });
  });
  worker.join();
  EXPECT_EQ(ran, "");
  dispatcher.RunPending();
  EXPECT_EQ(ran, "ab");
}

}  // namespace
}  // namespace velmor
