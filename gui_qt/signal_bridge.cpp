#include "gui_qt/signal_bridge.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velmor {
namespace {

int g_signal_fds[2] = {-1, -1};

sigset_t TerminationSignals() {
  sigset_t termination;
  sigemptyset(&termination);
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&termination, signal_number);
  return termination;
}

void OnSignal(int) {
  const char byte = 1;
  // Nothing else is safe here; a full pipe means a wake-up is already pending.
  [[maybe_unused]] ssize_t written = ::write(g_signal_fds[0], &byte, 1);
}

}  // namespace

void SignalBridge::HoldSignals() {
  const sigset_t termination = TerminationSignals();
  ::pthread_sigmask(SIG_BLOCK, &termination, nullptr);
}

SignalBridge::SignalBridge(std::function<void()> on_signal) : on_signal_(std::move(on_signal)) {
  const sigset_t termination = TerminationSignals();
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signal_fds) != 0) {
    // Without the pair the signals keep their default action; holding them would leave the
    // program without any way to be ended by one.
    ::pthread_sigmask(SIG_UNBLOCK, &termination, nullptr);
    return;
  }
  notifier_ = new QSocketNotifier(g_signal_fds[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    char buffer[64];
    while (::read(g_signal_fds[1], buffer, sizeof buffer) > 0) {
    }
    on_signal_();
  });
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal_number, &action, nullptr);
  // A signal held back until now is handled at once: its byte wakes the event loop.
  ::pthread_sigmask(SIG_UNBLOCK, &termination, nullptr);
}

SignalBridge::~SignalBridge() {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal_number, &action, nullptr);
  for (int& fd : g_signal_fds) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

}  // namespace velmor
