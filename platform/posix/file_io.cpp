#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velmor {

namespace fs = std::filesystem;

namespace {

// The reason of the system call that just failed; an input/output error when it left none.
std::error_code LastError() {
  return errno != 0 ? std::error_code(errno, std::generic_category())
                    : std::make_error_code(std::errc::io_error);
}

}  // namespace

fs::path PathFromText(std::string_view text) {
  return fs::path(std::string(text));
}

std::string TextFromPath(const fs::path& path) {
  return path.string();
}

std::FILE* OpenFile(const fs::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

std::FILE* OpenRegularFile(const fs::path& path) {
  // Not blocking, so that a FIFO is refused rather than waited on.
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (descriptor < 0) return nullptr;
  struct stat info {};
  if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(descriptor);
    return nullptr;
  }
  ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(descriptor, "rb");
  if (file == nullptr) ::close(descriptor);
  return file;
}

bool IsReadOnly(const fs::path& path) {
  // By its permissions, as the player set them: a user who may write anything (root) still
  // finds the file meant to stay as it is.
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

void CopyPermissions(const fs::path& from, const fs::path& to) {
  struct stat info {};
  if (::stat(from.c_str(), &info) == 0) ::chmod(to.c_str(), info.st_mode & 07777);
}

bool SyncToDisk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  return fsync(fileno(file)) == 0;
}

bool WriteNewFile(const fs::path& path, std::string_view content, std::error_code& error) {
  errno = 0;
  // "x": fail rather than reuse a file that exists, another process's included.
  std::FILE* file = OpenFile(path, "wbx");
  if (file == nullptr) {
    error = LastError();
    return false;
  }
  errno = 0;
  bool written =
      std::fwrite(content.data(), 1, content.size(), file) == content.size() && SyncToDisk(file);
  if (!written) error = LastError();
  errno = 0;
  if (std::fclose(file) != 0 && written) {
    written = false;
    error = LastError();
  }
  if (written) {
    error.clear();
    return true;
  }
  std::error_code ignored;
  fs::remove(path, ignored);
  return false;
}

bool RenameReplacing(const fs::path& from, const fs::path& to, std::error_code& error) {
  fs::rename(from, to, error);
  return !error;
}

bool CanReplaceFileHeldOpen() {
  return true;
}

bool RenameIfAbsent(const fs::path& from, const fs::path& to, std::error_code& error) {
  // A hard link fails on a taken name however a race with another process goes; where the
  // file system has no hard links, a rename after a check is the best there is.
  fs::create_hard_link(from, to, error);
  if (!error) {
    std::error_code ignored;
    fs::remove(from, ignored);
    return true;
  }
  if (error == std::errc::file_exists) return false;
  std::error_code status_error;
  if (fs::symlink_status(to, status_error).type() != fs::file_type::not_found) {
    error = std::make_error_code(std::errc::file_exists);
    return false;
  }
  fs::rename(from, to, error);
  return !error;
}

}  // namespace velmor
