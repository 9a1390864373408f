#pragma once

// What tests ask of the operating system directly, past the platform layer: socket options
// and transfers that never wait, for peers that misbehave on purpose; the sockets, handles
// and threads of this process; limits that make the system refuse. One implementation per
// system, both in this one place.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

// These need the two above.
#include <iphlpapi.h>
#include <tlhelp32.h>
#else
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/sockios.h>
#endif
#include <cerrno>
#include <csignal>
#endif

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "platform/socket_error.h"
#ifndef _WIN32
#include "platform/posix/socket_errno.h"
#endif

namespace velmor::testing {

#ifdef _WIN32

// Socket handles are kernel handles, of which only the low 32 bits are ever significant.
inline SOCKET Native(int handle) {
  return static_cast<SOCKET>(static_cast<std::intptr_t>(handle));
}
using SocketLength = int;

inline void SetOption(int handle, int level, int name, const void* value, int size) {
  ::setsockopt(Native(handle), level, name, static_cast<const char*>(value), size);
}

// A receive or send that never waits: the socket is non-blocking for the one call.
template <typename Call>
long WithoutWaiting(const Socket& socket, int* error, Call call) {
  u_long on = 1;
  u_long off = 0;
  ::ioctlsocket(Native(socket.Handle()), FIONBIO, &on);
  const int result = call(Native(socket.Handle()));
  if (result < 0 && error != nullptr) *error = WSAGetLastError();
  ::ioctlsocket(Native(socket.Handle()), FIONBIO, &off);
  return result;
}

// Bytes sent, or -1 with the Windows Sockets error in `error` (10035: nothing taken now).
inline long SendNow(const Socket& socket, const std::uint8_t* data, std::size_t size,
                    int* error = nullptr) {
  return WithoutWaiting(socket, error, [&](SOCKET s) {
    return ::send(s, reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
  });
}

// Bytes received, 0 at the end of the stream, or -1 with the Windows Sockets error.
inline long ReceiveNow(const Socket& socket, std::uint8_t* buffer, std::size_t size,
                       int* error = nullptr) {
  return WithoutWaiting(socket, error, [&](SOCKET s) {
    return ::recv(s, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
  });
}

inline void MakeNonBlocking(const Socket& socket) {
  u_long on = 1;
  ::ioctlsocket(Native(socket.Handle()), FIONBIO, &on);
}

using PollEntry = WSAPOLLFD;
inline PollEntry WatchFor(const Socket& socket, short events) {
  return PollEntry{Native(socket.Handle()), events, 0};
}
inline int Poll(std::vector<PollEntry>& entries, int timeout_ms) {
  return ::WSAPoll(entries.data(), static_cast<ULONG>(entries.size()), timeout_ms);
}

inline void LimitWaits(Socket& socket, std::chrono::seconds patience) {
  const DWORD limit = static_cast<DWORD>(std::chrono::milliseconds(patience).count());
  SetOption(socket.Handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  SetOption(socket.Handle(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

inline void AbortOnClose(const Socket& socket) {
  linger option{1, 0};
  SetOption(socket.Handle(), SOL_SOCKET, SO_LINGER, &option, sizeof option);
}

inline bool InheritedByChildProcesses(int handle) {
  DWORD flags = 0;
  return GetHandleInformation(reinterpret_cast<HANDLE>(Native(handle)), &flags) &&
         (flags & HANDLE_FLAG_INHERIT) != 0;
}

// Every socket this process holds. Handles are multiples of four and stay small.
inline std::vector<int> OpenSockets() {
  std::vector<int> sockets;
  for (int handle = 4; handle < (1 << 16); handle += 4) {
    int type = 0;
    int length = sizeof type;
    if (::getsockopt(Native(handle), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type),
                     &length) == 0) {
      sockets.push_back(handle);
    }
  }
  return sockets;
}

// Handles of any kind this process holds.
inline int OpenDescriptors() {
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return static_cast<int>(count);
}

inline int ProcessThreads() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

// This machine's host name, as the system reports it.
inline std::string HostName() {
  StartSocketLayer();
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  return name;
}

// The IPv4 addresses of this machine's interfaces, loopback included, in host byte order.
inline std::vector<std::uint32_t> InterfaceAddresses() {
  std::vector<std::uint32_t> addresses;
  ULONG size = 64 * 1024;
  std::vector<unsigned char> buffer(size);
  auto* list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
  if (GetAdaptersAddresses(AF_INET, 0, nullptr, list, &size) != NO_ERROR) return addresses;
  for (auto* adapter = list; adapter != nullptr; adapter = adapter->Next) {
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr);
      addresses.push_back(ntohl(in->sin_addr.s_addr));
    }
  }
  return addresses;
}

// Windows cannot tell how much a socket has sent and not yet had acknowledged.
inline std::optional<std::uint64_t> SendQueueBytes(int) {
  return std::nullopt;
}
inline std::optional<std::uint64_t> ReceiveQueueBytes(int handle) {
  u_long bytes = 0;
  if (::ioctlsocket(Native(handle), FIONREAD, &bytes) != 0) return std::nullopt;
  return bytes;
}

// Why a test that needs a lowered limit does not run here.
// True when some socket of this machine listens on TCP `port`: for a port that another
// process binds.
inline bool PortIsListening(std::uint16_t port) {
  ULONG size = 0;
  GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_LISTENER, 0);
  std::vector<unsigned char> buffer(size + 4096);
  size = static_cast<ULONG>(buffer.size());
  if (GetExtendedTcpTable(buffer.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_LISTENER, 0) !=
      NO_ERROR) {
    return false;
  }
  const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    if (ntohs(static_cast<u_short>(table->table[i].dwLocalPort)) == port) return true;
  }
  return false;
}

constexpr const char* kNoDescriptorLimit =
    "Windows has no per-process limit on handles that a test could lower";
constexpr const char* kNoFileSizeLimit =
    "Windows has no per-process file size limit that makes a write fail midway";

// Leaves exactly `free` descriptors for the whole process until destroyed (POSIX only).
class DescriptorShortage {
 public:
  static constexpr bool kPossible = false;
  explicit DescriptorShortage(int) {}
};

// Makes every write past `bytes` of a file fail until destroyed (POSIX only).
class FileSizeLimit {
 public:
  static constexpr bool kPossible = false;
  explicit FileSizeLimit(std::uint64_t) {}
};

// Another program's handle on a file that lets nobody rename, replace or remove it (a viewer,
// a virus scanner) until destroyed. Windows only: POSIX names are never held by handles.
class ReplaceBlocker {
 public:
  static constexpr bool kPossible = true;
  explicit ReplaceBlocker(const std::filesystem::path& path)
      : handle_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~ReplaceBlocker() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  ReplaceBlocker(const ReplaceBlocker&) = delete;
  ReplaceBlocker& operator=(const ReplaceBlocker&) = delete;
  bool Holds() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};
constexpr const char* kNoReplaceBlocker = "";

#else

inline int Native(int handle) {
  return handle;
}
using SocketLength = socklen_t;

inline void SetOption(int handle, int level, int name, const void* value, socklen_t size) {
  ::setsockopt(handle, level, name, value, size);
}

inline long SendNow(const Socket& socket, const std::uint8_t* data, std::size_t size,
                    int* error = nullptr) {
  const ssize_t result = ::send(socket.Handle(), data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
  if (result < 0 && error != nullptr) *error = WsaErrorFromErrno(errno);
  return static_cast<long>(result);
}

inline long ReceiveNow(const Socket& socket, std::uint8_t* buffer, std::size_t size,
                       int* error = nullptr) {
  const ssize_t result = ::recv(socket.Handle(), buffer, size, MSG_DONTWAIT);
  if (result < 0 && error != nullptr) *error = WsaErrorFromErrno(errno);
  return static_cast<long>(result);
}

inline void MakeNonBlocking(const Socket& socket) {
  ::fcntl(socket.Handle(), F_SETFL, ::fcntl(socket.Handle(), F_GETFL) | O_NONBLOCK);
}

using PollEntry = pollfd;
inline PollEntry WatchFor(const Socket& socket, short events) {
  return PollEntry{socket.Handle(), events, 0};
}
inline int Poll(std::vector<PollEntry>& entries, int timeout_ms) {
  return ::poll(entries.data(), entries.size(), timeout_ms);
}

inline void LimitWaits(Socket& socket, std::chrono::seconds patience) {
  timeval limit{static_cast<time_t>(patience.count()), 0};
  SetOption(socket.Handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  SetOption(socket.Handle(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

inline void AbortOnClose(const Socket& socket) {
  linger option{1, 0};
  SetOption(socket.Handle(), SOL_SOCKET, SO_LINGER, &option, sizeof option);
}

inline bool InheritedByChildProcesses(int handle) {
  const int flags = ::fcntl(handle, F_GETFD);
  return flags >= 0 && (flags & FD_CLOEXEC) == 0;
}

inline std::vector<int> OpenSockets() {
  std::vector<int> sockets;
  for (int fd = 3; fd < 4096; ++fd) {
    int type = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0) sockets.push_back(fd);
  }
  return sockets;
}

inline std::string HostName() {
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  return name;
}

inline std::vector<std::uint32_t> InterfaceAddresses() {
  std::vector<std::uint32_t> addresses;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return addresses;
  for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    addresses.push_back(ntohl(reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr));
  }
  ::freeifaddrs(list);
  return addresses;
}

// Entries of a /proc directory (descriptors, threads) of this process.
inline int CountEntries(const char* path) {
  int count = 0;
  if (DIR* dir = opendir(path)) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
  }
  return count;
}

inline int OpenDescriptors() {
  return CountEntries("/proc/self/fd") - 1;  // the directory stream itself
}

inline int ProcessThreads() {
  return CountEntries("/proc/self/task");
}

inline std::optional<std::uint64_t> QueuedBytes(int handle, unsigned long request) {
  int bytes = 0;
  if (handle < 0 || ::ioctl(handle, request, &bytes) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(bytes);
}
inline std::optional<std::uint64_t> SendQueueBytes(int handle) {
  return QueuedBytes(handle, SIOCOUTQ);
}
inline std::optional<std::uint64_t> ReceiveQueueBytes(int handle) {
  return QueuedBytes(handle, SIOCINQ);
}

// True when some socket of this machine listens on TCP `port` (IPv4 or IPv6): for a port
// that another process binds. It reads /proc.
inline bool PortIsListening(std::uint16_t port) {
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
      // "  sl  local_address rem_address   st ..." with st 0A for LISTEN
      char local[64], remote[64], state[8];
      if (std::sscanf(line.c_str(), "%*s %63s %63s %7s", local, remote, state) != 3) continue;
      const std::string address(local);
      if (address.size() > 5 && address.compare(address.size() - 5, 5, wanted) == 0 &&
          std::string(state) == "0A") {
        return true;
      }
    }
  }
  return false;
}

constexpr const char* kNoDescriptorLimit = "";
constexpr const char* kNoFileSizeLimit = "";

class ReplaceBlocker {
 public:
  static constexpr bool kPossible = false;
  explicit ReplaceBlocker(const std::filesystem::path&) {}
  bool Holds() const { return false; }
};
constexpr const char* kNoReplaceBlocker = "POSIX renames and removes a file whoever holds it open";

class DescriptorShortage {
 public:
  static constexpr bool kPossible = true;

  // Lowers the limit and fills every other free slot below it.
  explicit DescriptorShortage(int free) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(OpenDescriptors() + 64);
    ::setrlimit(RLIMIT_NOFILE, &lowered);
    for (int fd; fillers_.size() < 4096 && (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) {
      fillers_.push_back(fd);
    }
    for (int i = 0; i < free && !fillers_.empty(); ++i) {
      ::close(fillers_.back());
      fillers_.pop_back();
    }
  }
  ~DescriptorShortage() {
    for (int fd : fillers_) ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved_);
  }
  DescriptorShortage(const DescriptorShortage&) = delete;
  DescriptorShortage& operator=(const DescriptorShortage&) = delete;

 private:
  rlimit saved_{};
  std::vector<int> fillers_;
};

class FileSizeLimit {
 public:
  static constexpr bool kPossible = true;

  // A write past the limit fails with EFBIG instead of raising SIGXFSZ.
  explicit FileSizeLimit(std::uint64_t bytes) : old_handler_(std::signal(SIGXFSZ, SIG_IGN)) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit small = saved_;
    small.rlim_cur = static_cast<rlim_t>(bytes);
    ::setrlimit(RLIMIT_FSIZE, &small);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*old_handler_)(int);
};

#endif

// The local and the peer address of a connected IPv4 socket, each as address and port.
struct SocketEnds {
  std::uint64_t local;
  std::uint64_t peer;
};
inline std::optional<SocketEnds> EndsOf(int handle) {
  sockaddr_in local{};
  sockaddr_in peer{};
  SocketLength length = sizeof local;
  if (::getsockname(Native(handle), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    return std::nullopt;
  }
  length = sizeof peer;
  if (::getpeername(Native(handle), reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
    return std::nullopt;
  }
  const auto key = [](const sockaddr_in& a) {
    return (std::uint64_t{a.sin_addr.s_addr} << 16) | a.sin_port;
  };
  return SocketEnds{key(local), key(peer)};
}

// What the system's resolver makes of a text without asking anyone, or nullopt.
inline std::optional<std::uint32_t> NumericReading(const std::string& text) {
  StartSocketLayer();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* found = nullptr;
  if (::getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0) return std::nullopt;
  const std::uint32_t address =
      ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
  ::freeaddrinfo(found);
  return address;
}

}  // namespace velmor::testing
