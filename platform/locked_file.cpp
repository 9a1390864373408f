#include "platform/locked_file.h"

#include <cerrno>
#include <random>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velmor {
namespace {

namespace fs = std::filesystem;

// A bound only so that a folder in which every name seems taken cannot keep us looping.
constexpr int kMaxStagingTries = 100;

#ifdef _WIN32
using Handle = HANDLE;
constexpr Handle kClosed = nullptr;

std::error_code LastError() {
  return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

Handle Open(const fs::path& path, DWORD disposition) {
  // Others may read, and rename or remove the name, but the lock below keeps writers apart.
  const Handle handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  return handle == INVALID_HANDLE_VALUE ? kClosed : handle;
}

// One byte far beyond any end of file, so the lock never stands in a reader's way.
OVERLAPPED LockPlace() {
  OVERLAPPED place{};
  place.OffsetHigh = 0x7FFFFFFF;
  return place;
}

bool Lock(Handle handle) {
  OVERLAPPED place = LockPlace();
  return LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &place) !=
         0;
}

void CloseHandleOf(Handle& handle) {
  if (handle == kClosed) return;
  CloseHandle(handle);
  handle = kClosed;
}

bool SameFile(Handle handle, const fs::path& path) {
  const Handle other =
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (other == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  const bool same = GetFileInformationByHandle(handle, &a) &&
                    GetFileInformationByHandle(other, &b) &&
                    a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                    a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow &&
                    (b.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  CloseHandle(other);
  return same;
}
#else
using Handle = int;
constexpr Handle kClosed = -1;

std::error_code LastError() {
  return errno != 0 ? std::error_code(errno, std::generic_category())
                    : std::make_error_code(std::errc::io_error);
}

Handle Open(const fs::path& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool Lock(Handle fd) {
  return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

void CloseHandleOf(Handle& fd) {
  if (fd == kClosed) return;
  ::close(fd);
  fd = kClosed;
}

bool SameFile(Handle fd, const fs::path& path) {
  struct stat held {
  }, named{};
  return ::fstat(fd, &held) == 0 && held.st_nlink > 0 && ::lstat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}
#endif

}  // namespace

LockedFile::LockedFile(LockedFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed)), path_(std::move(other.path_)) {}

LockedFile& LockedFile::operator=(LockedFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kClosed);
    path_ = std::move(other.path_);
  }
  return *this;
}

bool LockedFile::IsOpen() const {
  return handle_ != kClosed;
}

void LockedFile::Close() {
  CloseHandleOf(handle_);
}

LockedFile LockedFile::CreateBeside(const fs::path& target, std::error_code& error) {
  std::random_device seed;
  std::mt19937 random(seed());
  for (int tries = 0; tries < kMaxStagingTries; ++tries) {
    fs::path staged = target;
    staged += ".tmp" + std::to_string(random() % 1000000);
    errno = 0;
#ifdef _WIN32
    Handle handle = Open(staged, CREATE_NEW);
    if (handle == kClosed && GetLastError() == ERROR_FILE_EXISTS) continue;
#else
    Handle handle = Open(staged, O_CREAT | O_EXCL);
    if (handle == kClosed && errno == EEXIST) continue;
#endif
    if (handle == kClosed) {
      error = LastError();
      return {};
    }
    // Nobody else knows the name yet, so the lock cannot be taken; failing means the file
    // system has no locks, and then the file could not be told from one left behind.
    if (!Lock(handle)) {
      error = LastError();
      CloseHandleOf(handle);
      std::error_code ignored;
      fs::remove(staged, ignored);
      return {};
    }
    LockedFile file;
    file.handle_ = handle;
    file.path_ = std::move(staged);
    error.clear();
    return file;
  }
  error = std::make_error_code(std::errc::file_exists);
  return {};
}

LockedFile LockedFile::TakeAbandoned(const fs::path& path, std::error_code& error) {
  error.clear();
  errno = 0;
#ifdef _WIN32
  Handle handle = Open(path, OPEN_EXISTING);
#else
  Handle handle = Open(path, O_NOFOLLOW);
#endif
  if (handle == kClosed) {
    const std::error_code reason = LastError();
    if (reason != std::errc::no_such_file_or_directory &&
        reason != std::errc::too_many_symbolic_link_levels) {
      error = reason;
    }
    return {};
  }
  if (!Lock(handle) || !SameFile(handle, path)) {
    CloseHandleOf(handle);
    return {};
  }
  LockedFile file;
  file.handle_ = handle;
  file.path_ = path;
  return file;
}

#ifdef _WIN32

bool LockedFile::WriteAt(std::uint64_t offset, std::string_view data, std::error_code& error) {
  while (!data.empty()) {
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(offset);
    place.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1 << 30));
    DWORD written = 0;
    if (!WriteFile(handle_, data.data(), chunk, &written, &place) || written == 0) {
      error = LastError();
      return false;
    }
    offset += written;
    data.remove_prefix(written);
  }
  return true;
}

bool LockedFile::Truncate(std::uint64_t size, std::error_code& error) {
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(handle_, end, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_)) {
    error = LastError();
    return false;
  }
  return true;
}

bool LockedFile::Sync(std::error_code& error) {
  if (FlushFileBuffers(handle_)) return true;
  error = LastError();
  return false;
}

bool LockedFile::ReadAll(std::string& content, std::error_code& error) {
  content.clear();
  char buffer[1 << 16];
  for (std::uint64_t offset = 0;;) {
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(offset);
    place.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(handle_, buffer, sizeof buffer, &got, &place)) {
      if (GetLastError() == ERROR_HANDLE_EOF) return true;
      error = LastError();
      return false;
    }
    if (got == 0) return true;
    content.append(buffer, got);
    offset += got;
  }
}

void LockedFile::Remove() {
  if (!IsOpen()) return;
  DeleteFileW(path_.c_str());
  Close();
}

void SyncFolder(const fs::path&) {}

#else

bool LockedFile::WriteAt(std::uint64_t offset, std::string_view data, std::error_code& error) {
  while (!data.empty()) {
    errno = 0;
    const ssize_t written = ::pwrite(handle_, data.data(), data.size(), static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error = LastError();
      return false;
    }
    offset += static_cast<std::uint64_t>(written);
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool LockedFile::Truncate(std::uint64_t size, std::error_code& error) {
  errno = 0;
  if (::ftruncate(handle_, static_cast<off_t>(size)) == 0) return true;
  error = LastError();
  return false;
}

bool LockedFile::Sync(std::error_code& error) {
  errno = 0;
  if (::fdatasync(handle_) == 0) return true;
  error = LastError();
  return false;
}

bool LockedFile::ReadAll(std::string& content, std::error_code& error) {
  content.clear();
  char buffer[1 << 16];
  for (off_t offset = 0;;) {
    errno = 0;
    const ssize_t got = ::pread(handle_, buffer, sizeof buffer, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = LastError();
      return false;
    }
    if (got == 0) return true;
    content.append(buffer, static_cast<std::size_t>(got));
    offset += got;
  }
}

void LockedFile::Remove() {
  if (!IsOpen()) return;
  ::unlink(path_.c_str());
  Close();
}

void SyncFolder(const fs::path& folder) {
  const fs::path name = folder.empty() ? fs::path(".") : folder;
  const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

#endif

}  // namespace velmor
