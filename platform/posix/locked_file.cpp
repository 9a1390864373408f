#include "platform/locked_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velmor {
namespace {

namespace fs = std::filesystem;

std::error_code LastError() {
  return errno != 0 ? std::error_code(errno, std::generic_category())
                    : std::make_error_code(std::errc::io_error);
}

int Open(const fs::path& path, int flags, std::error_code& error) {
  int fd;
  do {
    errno = 0;
    fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) error = LastError();
  return fd;
}

}  // namespace

LockedFile::Handle LockedFile::CreateNew(const fs::path& path, std::error_code& error) {
  return Open(path, O_CREAT | O_EXCL, error);
}

LockedFile::Handle LockedFile::OpenExisting(const fs::path& path, std::error_code& error) {
  return Open(path, O_NOFOLLOW, error);
}

bool LockedFile::Lock(Handle fd, std::error_code& error) {
  errno = 0;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  error = LastError();
  return false;
}

void LockedFile::CloseHandleOf(Handle& fd) {
  if (fd == kClosed) return;
  ::close(fd);
  fd = kClosed;
}

bool LockedFile::SameFile(Handle fd, const fs::path& path) {
  struct stat held {
  }, named{};
  return ::fstat(fd, &held) == 0 && held.st_nlink > 0 && ::lstat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

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

bool LockedFile::ReadAt(std::uint64_t offset, std::size_t size, std::string& content,
                        std::error_code& error) {
  content.resize(size);
  std::size_t done = 0;
  while (done < size) {
    errno = 0;
    const ssize_t got =
        ::pread(handle_, content.data() + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = LastError();
      content.clear();
      return false;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  content.resize(done);
  return true;
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

}  // namespace velmor
