#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, so that it does not pull in the old winsock.h.
#include <windows.h>
// After the ones above, which it needs: the system's TCP table.
#include <iphlpapi.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/exception.h"

namespace velmor {

namespace {

// Socket handles are kernel handles, of which only the low 32 bits are ever significant, so
// an int holds one; INVALID_SOCKET and Socket::kNoHandle (-1) meet in the middle.
SOCKET Native(int handle) {
  return static_cast<SOCKET>(static_cast<std::intptr_t>(handle));
}

int HandleOf(SOCKET socket) {
  return static_cast<int>(socket);
}

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_addr.s_addr = htonl(address);
  result.sin_port = htons(port);
  return result;
}

// Sockets are not inherited by programs this process might start.
void KeepFromChildProcesses(SOCKET socket) {
  SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}

// A loopback datagram socket addressed to itself that never waits: what is sent on it makes
// it readable until it is received. Windows waits watch only sockets, so this is what wakes
// a thread from one.
SOCKET OpenSelfAddressedSocket() {
  StartSocketLayer();
  const SOCKET socket =
      WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) RaiseLastSocketError();
  sockaddr_in address = MakeAddress(INADDR_LOOPBACK, 0);
  int length = sizeof address;
  u_long non_blocking = 1;
  if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::ioctlsocket(socket, FIONBIO, &non_blocking) != 0) {
    const int error = WSAGetLastError();
    ::closesocket(socket);
    throw EIdSocketError(error);
  }
  return socket;
}

// What a waiting thread watches beside the sockets it waits for: Windows ends a select()
// neither when another thread shuts one of its sockets down nor when it closes one, on
// every version; this is how Shutdown() reaches a waiting thread all the same.
class Waker {
 public:
  Waker() : socket_(OpenSelfAddressedSocket()) {}
  ~Waker() { ::closesocket(socket_); }
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;

  SOCKET Handle() const { return socket_; }

  // Any thread. Loopback loses no datagram into an empty queue, and a full queue is
  // readable anyway.
  void Wake() const noexcept {
    const char byte = 1;
    ::send(socket_, &byte, 1, 0);
  }

  // Empties the queue, so the next wait is not ended by an old wake-up.
  void Drain() const noexcept {
    char buffer[16];
    while (::recv(socket_, buffer, sizeof buffer, 0) > 0) {
    }
  }

 private:
  SOCKET socket_;
};

// The waits in progress on each socket, and the sockets whose receiving was shut down here:
// those count as readable, as a POSIX system reports them, until they are closed.
class WaitRegistry {
 public:
  // Never destroyed: relay threads may still wait while the process ends.
  static WaitRegistry& Instance() {
    static WaitRegistry* const registry = new WaitRegistry;
    return *registry;
  }

  // Registers `waker` for every socket of `sockets`, until Leave.
  void Enter(const std::vector<SOCKET>& sockets, const Waker* waker) {
    std::lock_guard lock(mutex_);
    for (SOCKET socket : sockets) waiting_.emplace(socket, waker);
  }

  void Leave(const std::vector<SOCKET>& sockets, const Waker* waker) {
    std::lock_guard lock(mutex_);
    for (SOCKET socket : sockets) {
      auto [first, last] = waiting_.equal_range(socket);
      for (auto entry = first; entry != last; ++entry) {
        if (entry->second == waker) {
          waiting_.erase(entry);
          break;
        }
      }
    }
  }

  bool IsShut(SOCKET socket) {
    std::lock_guard lock(mutex_);
    return shut_.contains(socket);
  }

  // Marks the socket shut and wakes every wait on it.
  void Shut(SOCKET socket) {
    std::lock_guard lock(mutex_);
    shut_.insert(socket);
    auto [first, last] = waiting_.equal_range(socket);
    for (auto entry = first; entry != last; ++entry) entry->second->Wake();
  }

  // The handle may be given to a new socket after this.
  void Forget(SOCKET socket) {
    std::lock_guard lock(mutex_);
    shut_.erase(socket);
  }

 private:
  std::mutex mutex_;
  std::unordered_multimap<SOCKET, const Waker*> waiting_;
  std::unordered_set<SOCKET> shut_;
};

// One waker per thread, made at its first wait and closed when the thread ends. Kept in
// fiber-local storage, not as a thread_local object: mingw's emulated thread-local storage
// may release one before its destructor has run.
const Waker& ThreadWaker() {
  static const DWORD slot = FlsAlloc([](void* waker) { delete static_cast<Waker*>(waker); });
  if (slot == FLS_OUT_OF_INDEXES) throw EIdSocketError(10055);
  auto* waker = static_cast<Waker*>(FlsGetValue(slot));
  if (waker == nullptr) {
    waker = new Waker;
    FlsSetValue(slot, waker);
  }
  return *waker;
}

int ClampedLength(std::size_t size) {
  return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

}  // namespace

void StartSocketLayer() {
  static const bool started = [] {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
      WSACleanup();
      return false;
    }
    return true;
  }();
  if (!started) throw Exception("Winsock Initialization Error.");
}

Socket::Socket(Socket&& other) noexcept : handle_(other.handle_), has_sent_(other.has_sent_) {
  other.handle_ = kNoHandle;
}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    has_sent_ = other.has_sent_;
    other.handle_ = kNoHandle;
  }
  return *this;
}

Socket Socket::Open() {
  StartSocketLayer();
  // Overlapped, as socket() makes them: a blocking call can then be cancelled (Shutdown).
  const SOCKET socket = WSASocketW(AF_INET, SOCK_STREAM, 0, nullptr, 0,
                                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) RaiseLastSocketError();
  return Socket(HandleOf(socket));
}

void Socket::SetReuseAddress(bool on) {
  const BOOL value = on ? TRUE : FALSE;
  if (::setsockopt(Native(handle_), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&value),
                   sizeof value) != 0) {
    RaiseLastSocketError();
  }
}

void Socket::AllowPromptRebind() {
  // Windows binds a listener's port again while connections accepted on it linger in
  // TIME_WAIT by itself. Without this option, though, another program could bind one address
  // of a port this listener holds on every address, and take its clients.
  const BOOL on = TRUE;
  if (::setsockopt(Native(handle_), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                   reinterpret_cast<const char*>(&on), sizeof on) != 0) {
    RaiseLastSocketError();
  }
}

namespace {

// A socket that claims its port exclusively is refused with WSAEACCES also when another
// program's socket holds the port, not only when the system reserved it (Hyper-V, WSL 2,
// Docker). A port in the system's TCP table is held, a reserved one is never there.
bool RefusedAsTaken(SOCKET refused, std::uint16_t port) {
  BOOL exclusive = FALSE;
  int size = sizeof exclusive;
  if (::getsockopt(refused, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<char*>(&exclusive),
                   &size) != 0 ||
      !exclusive) {
    return false;
  }
  std::vector<unsigned char> buffer;
  ULONG length = 16 * 1024;
  DWORD result = ERROR_INSUFFICIENT_BUFFER;
  for (int tries = 0; tries < 3 && result == ERROR_INSUFFICIENT_BUFFER; ++tries) {
    buffer.resize(length);
    result = GetTcpTable(reinterpret_cast<MIB_TCPTABLE*>(buffer.data()), &length, FALSE);
  }
  if (result != NO_ERROR) return false;
  const auto* table = reinterpret_cast<const MIB_TCPTABLE*>(buffer.data());
  const MIB_TCPROW* rows = table->table;
  return std::any_of(rows, rows + table->dwNumEntries, [&](const MIB_TCPROW& row) {
    return ntohs(static_cast<u_short>(row.dwLocalPort)) == port;
  });
}

}  // namespace

void Socket::Bind(std::uint32_t address, std::uint16_t port) {
  const sockaddr_in local = MakeAddress(address, port);
  if (::bind(Native(handle_), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const int error = WSAGetLastError();
    if (error == WSAEACCES && RefusedAsTaken(Native(handle_), port)) {
      throw EIdSocketError(WSAEADDRINUSE);
    }
    throw EIdSocketError(error);
  }
}

void Socket::Listen(int backlog) {
  if (::listen(Native(handle_), backlog) != 0) RaiseLastSocketError();
}

Socket Socket::Accept() const {
  const SOCKET accepted = ::accept(Native(handle_), nullptr, nullptr);
  if (accepted == INVALID_SOCKET) RaiseLastSocketError();
  KeepFromChildProcesses(accepted);
  return Socket(HandleOf(accepted));
}

void Socket::Connect(std::uint32_t address, std::uint16_t port, int wake) {
  const SOCKET socket = Native(handle_);
  const sockaddr_in remote = MakeAddress(address, port);
  if (wake == kNoHandle) {
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
      RaiseLastSocketError();
    }
    return;
  }
  // A wake-up can only be watched beside an attempt that goes on in the background.
  u_long non_blocking = 1;
  if (::ioctlsocket(socket, FIONBIO, &non_blocking) != 0) RaiseLastSocketError();
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
    if (WSAGetLastError() != WSAEWOULDBLOCK) RaiseLastSocketError();
    // Windows reports a failed attempt among the exceptions, not as writable.
    fd_set woken;
    fd_set connected;
    fd_set failed;
    FD_ZERO(&woken);
    FD_ZERO(&connected);
    FD_ZERO(&failed);
    FD_SET(Native(wake), &woken);
    FD_SET(socket, &connected);
    FD_SET(socket, &failed);
    if (::select(0, &woken, &connected, &failed, nullptr) == SOCKET_ERROR) RaiseLastSocketError();
    if (FD_ISSET(Native(wake), &woken)) throw EIdSocketError(kWsaInterrupted);
    if (FD_ISSET(socket, &failed)) {
      int error = 0;
      int length = sizeof error;
      ::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
      throw EIdSocketError(error != 0 ? error : kWsaConnRefused);
    }
  }
  u_long blocking = 0;
  if (::ioctlsocket(socket, FIONBIO, &blocking) != 0) RaiseLastSocketError();
}

namespace {

// Whether a failed call was refused or cut short because Shutdown() shut the socket: a call
// it cancels in the middle reports WSA_OPERATION_ABORTED, on some systems WSAEINTR.
bool EndedByShutdown(SOCKET socket, int error) {
  return (error == WSAESHUTDOWN || error == WSA_OPERATION_ABORTED || error == WSAEINTR) &&
         WaitRegistry::Instance().IsShut(socket);
}

}  // namespace

std::size_t Socket::Receive(std::uint8_t* buffer, std::size_t size) {
  const int count =
      ::recv(Native(handle_), reinterpret_cast<char*>(buffer), ClampedLength(size), 0);
  if (count == SOCKET_ERROR) {
    // Shut down here: the end of the stream, as a POSIX system reports it.
    const int error = WSAGetLastError();
    if (EndedByShutdown(Native(handle_), error)) return 0;
    throw EIdSocketError(error);
  }
  return static_cast<std::size_t>(count);
}

std::size_t Socket::Send(const std::uint8_t* data, std::size_t size) {
  const int count =
      ::send(Native(handle_), reinterpret_cast<const char*>(data), ClampedLength(size), 0);
  if (count == SOCKET_ERROR) {
    // Shut down by Shutdown() from another thread: the socket is shut, as it is on POSIX.
    const int error = WSAGetLastError();
    throw EIdSocketError(error == WSA_OPERATION_ABORTED || EndedByShutdown(Native(handle_), error)
                             ? kWsaShutdown
                             : error);
  }
  if (count > 0) has_sent_ = true;
  return static_cast<std::size_t>(count);
}

void Socket::Shutdown(Direction direction) noexcept {
  if (handle_ == kNoHandle) return;
  const SOCKET socket = Native(handle_);
  const int how = direction == Direction::kReceive ? SD_RECEIVE
                  : direction == Direction::kSend  ? SD_SEND
                                                   : SD_BOTH;
  ::shutdown(socket, how);
  if (direction == Direction::kSend) return;
  // Neither a wait nor a blocked receive or send in another thread notices the shutdown by
  // itself: wake the waits, and cancel the blocked call.
  WaitRegistry::Instance().Shut(socket);
  CancelIoEx(reinterpret_cast<HANDLE>(socket), nullptr);
}

void Socket::Close() noexcept {
  if (handle_ == kNoHandle) return;
  WaitRegistry::Instance().Forget(Native(handle_));
  ::closesocket(Native(handle_));
  handle_ = kNoHandle;
}

std::size_t Socket::PendingOutput() const noexcept {
  // No Windows call tells how much of a send queue the peer has not acknowledged (the
  // connection table could tell when the FIN is, but reading it is far too slow to ask
  // every few milliseconds).
  return handle_ != kNoHandle && has_sent_ ? kUnknownPending : 0;
}

std::uint16_t Socket::LocalPort() const {
  sockaddr_in local{};
  int length = sizeof local;
  if (::getsockname(Native(handle_), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    RaiseLastSocketError();
  }
  return ntohs(local.sin_port);
}

WakeEvent::WakeEvent() {
  read_ = write_ = HandleOf(OpenSelfAddressedSocket());
}

WakeEvent::~WakeEvent() {
  ::closesocket(Native(read_));
}

void WakeEvent::Signal() noexcept {
  // Never received, so the first datagram keeps it readable for good.
  const char byte = 1;
  ::send(Native(write_), &byte, 1, 0);
}

int WaitForReadable(std::span<const int> handles, std::span<bool> readable, int timeout_ms) {
  const Waker& waker = ThreadWaker();
  WaitRegistry& registry = WaitRegistry::Instance();
  // A closed connection's handle (kNoHandle) is never readable, as poll() treats it.
  std::vector<SOCKET> sockets;
  sockets.reserve(handles.size());
  for (int handle : handles) {
    if (handle != Socket::kNoHandle) sockets.push_back(Native(handle));
  }
  if (sockets.size() >= FD_SETSIZE) throw EIdSocketError(10022);

  registry.Enter(sockets, &waker);
  fd_set set;
  FD_ZERO(&set);
  FD_SET(waker.Handle(), &set);
  bool shut = false;
  for (SOCKET socket : sockets) {
    FD_SET(socket, &set);
    shut = shut || registry.IsShut(socket);
  }
  int result = 0;
  if (!shut) {
    timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    result = ::select(0, &set, nullptr, nullptr, timeout_ms < 0 ? nullptr : &limit);
  }
  const int error = WSAGetLastError();
  registry.Leave(sockets, &waker);
  // Emptied only when it may hold a wake-up, which a busy relay's waits mostly do not: a
  // receive saved per wait. One that comes after this ends the next wait early, harmlessly.
  if (result <= 0 || FD_ISSET(waker.Handle(), &set)) waker.Drain();
  if (result == SOCKET_ERROR) {
    // A wait on a socket shut down meanwhile may end in an error of its own; it is the
    // shutdown that counts.
    const bool any_shut = std::any_of(sockets.begin(), sockets.end(),
                                      [&](SOCKET socket) { return registry.IsShut(socket); });
    if (!any_shut) throw EIdSocketError(error);
    result = 0;
  }

  int count = 0;
  for (std::size_t i = 0; i < handles.size() && i < readable.size(); ++i) {
    const int handle = handles[i];
    readable[i] = handle != Socket::kNoHandle && ((result > 0 && FD_ISSET(Native(handle), &set)) ||
                                                  registry.IsShut(Native(handle)));
    if (readable[i]) ++count;
  }
  return count;
}

}  // namespace velmor
