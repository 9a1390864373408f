#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/sockios.h>
#include <sys/eventfd.h>
#endif

#include <array>
#include <cerrno>
#include <vector>

#include "platform/posix/socket_errno.h"

namespace velmor {

namespace {

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_addr.s_addr = htonl(address);
  result.sin_port = htons(port);
  return result;
}

}  // namespace

void StartSocketLayer() {}

Socket::Socket(Socket&& other) noexcept : handle_(other.handle_) {
  other.handle_ = kNoHandle;
}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = kNoHandle;
  }
  return *this;
}

Socket Socket::Open() {
  int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0) RaiseLastSocketError();
  return Socket(handle);
}

void Socket::SetReuseAddress(bool on) {
  int value = on ? 1 : 0;
  if (::setsockopt(handle_, SOL_SOCKET, SO_REUSEADDR, &value, sizeof value) != 0) {
    RaiseLastSocketError();
  }
}

void Socket::AllowPromptRebind() {
  SetReuseAddress(true);
}

void Socket::Bind(std::uint32_t address, std::uint16_t port) {
  sockaddr_in local = MakeAddress(address, port);
  if (::bind(handle_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    RaiseLastSocketError();
  }
}

void Socket::Listen(int backlog) {
  if (::listen(handle_, backlog) != 0) RaiseLastSocketError();
}

Socket Socket::Accept() const {
  for (;;) {
    int handle = ::accept4(handle_, nullptr, nullptr, SOCK_CLOEXEC);
    if (handle >= 0) return Socket(handle);
    if (errno != EINTR) RaiseLastSocketError();
  }
}

void Socket::Connect(std::uint32_t address, std::uint16_t port, int wake) {
  sockaddr_in remote = MakeAddress(address, port);
  const int flags = ::fcntl(handle_, F_GETFL);
  // A wake-up can only be watched beside an attempt that goes on in the background.
  if (wake != kNoHandle && (flags < 0 || ::fcntl(handle_, F_SETFL, flags | O_NONBLOCK) != 0)) {
    RaiseLastSocketError();
  }
  if (::connect(handle_, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) {
    if (wake != kNoHandle) ::fcntl(handle_, F_SETFL, flags);
    return;
  }
  // A socket made non-blocking by its owner reports EINPROGRESS as a failure, as ever.
  if (errno != EINTR && !(wake != kNoHandle && errno == EINPROGRESS)) RaiseLastSocketError();
  // The attempt goes on in the background; wait for its outcome (or the wake-up).
  std::array<pollfd, 2> entries{pollfd{handle_, POLLOUT, 0}, pollfd{wake, POLLIN, 0}};
  const nfds_t count = wake != kNoHandle ? 2 : 1;
  while (::poll(entries.data(), count, -1) < 0) {
    if (errno != EINTR) RaiseLastSocketError();
  }
  if (count == 2 && entries[1].revents != 0) throw EIdSocketError(kWsaInterrupted);
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(handle_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) RaiseLastSocketError();
  if (error != 0) throw EIdSocketError(WsaErrorFromErrno(error));
  if (wake != kNoHandle && ::fcntl(handle_, F_SETFL, flags) != 0) RaiseLastSocketError();
}

std::size_t Socket::Receive(std::uint8_t* buffer, std::size_t size) {
  for (;;) {
    ssize_t count = ::recv(handle_, buffer, size, 0);
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno != EINTR) RaiseLastSocketError();
  }
}

std::size_t Socket::Send(const std::uint8_t* data, std::size_t size) {
  for (;;) {
    ssize_t count = ::send(handle_, data, size, MSG_NOSIGNAL);
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno != EINTR) RaiseLastSocketError();
  }
}

void Socket::Shutdown(Direction direction) noexcept {
  if (handle_ == kNoHandle) return;
  int how = direction == Direction::kReceive ? SHUT_RD
            : direction == Direction::kSend  ? SHUT_WR
                                             : SHUT_RDWR;
  ::shutdown(handle_, how);
}

void Socket::Close() noexcept {
  if (handle_ == kNoHandle) return;
  ::close(handle_);
  handle_ = kNoHandle;
}

std::size_t Socket::PendingOutput() const noexcept {
#ifdef SIOCOUTQ
  int bytes = 0;
  if (handle_ != kNoHandle && ::ioctl(handle_, SIOCOUTQ, &bytes) == 0 && bytes > 0) {
    return static_cast<std::size_t>(bytes);
  }
#endif
  return 0;
}

std::uint16_t Socket::LocalPort() const {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    RaiseLastSocketError();
  }
  return ntohs(local.sin_port);
}

WakeEvent::WakeEvent() {
#ifdef __linux__
  read_ = write_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (read_ < 0) RaiseLastSocketError();
#else
  int ends[2];
  if (::pipe(ends) != 0) RaiseLastSocketError();
  for (int end : ends) {
    ::fcntl(end, F_SETFD, FD_CLOEXEC);
    ::fcntl(end, F_SETFL, O_NONBLOCK);
  }
  read_ = ends[0];
  write_ = ends[1];
#endif
}

WakeEvent::~WakeEvent() {
  ::close(read_);
  if (write_ != read_) ::close(write_);
}

void WakeEvent::Signal() noexcept {
  // Never read, so one byte (or count) keeps it readable; a full pipe is readable too.
#ifdef __linux__
  const std::uint64_t one = 1;
#else
  const std::uint8_t one = 1;
#endif
  [[maybe_unused]] ssize_t written = ::write(write_, &one, sizeof one);
}

int WaitForReadable(std::span<const int> handles, std::span<bool> readable, int timeout_ms) {
  // The pump waits on two sockets every cycle: keep that case off the heap.
  std::array<pollfd, 4> fixed{};
  std::vector<pollfd> grown;
  std::span<pollfd> entries(fixed.data(), handles.size());
  if (handles.size() > fixed.size()) {
    grown.resize(handles.size());
    entries = std::span<pollfd>(grown);
  }
  for (std::size_t i = 0; i < handles.size(); ++i) entries[i] = pollfd{handles[i], POLLIN, 0};
  for (;;) {
    int ready = ::poll(entries.data(), entries.size(), timeout_ms);
    if (ready >= 0) break;
    if (errno != EINTR) RaiseLastSocketError();
    if (timeout_ms >= 0) {
      for (bool& flag : readable) flag = false;
      return 0;
    }
  }
  int count = 0;
  for (std::size_t i = 0; i < entries.size() && i < readable.size(); ++i) {
    readable[i] = (entries[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
    if (readable[i]) ++count;
  }
  return count;
}

}  // namespace velmor
