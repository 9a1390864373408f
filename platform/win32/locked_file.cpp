#include "platform/locked_file.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/windows_error.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;

std::error_code LastError() {
  return WindowsError(GetLastError());
}

HANDLE Open(const fs::path& path, DWORD disposition, std::error_code& error) {
  // Others may read, and rename or remove the name, but the lock below keeps writers apart.
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) return handle;
  error = LastError();
  return nullptr;
}

// One byte far beyond any end of file, so the lock never stands in a reader's way.
OVERLAPPED LockPlace() {
  OVERLAPPED place{};
  place.OffsetHigh = 0x7FFFFFFF;
  return place;
}

}  // namespace

LockedFile::Handle LockedFile::CreateNew(const fs::path& path, std::error_code& error) {
  return Open(path, CREATE_NEW, error);
}

LockedFile::Handle LockedFile::OpenExisting(const fs::path& path, std::error_code& error) {
  return Open(path, OPEN_EXISTING, error);
}

bool LockedFile::Lock(Handle handle, std::error_code& error) {
  OVERLAPPED place = LockPlace();
  if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &place)) {
    return true;
  }
  error = LastError();
  return false;
}

void LockedFile::CloseHandleOf(Handle& handle) {
  if (handle == kClosed) return;
  CloseHandle(handle);
  handle = kClosed;
}

bool LockedFile::SameFile(Handle handle, const fs::path& path) {
  const HANDLE other =
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (other == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  // Wine may answer the first query on a handle with volume serial 0: a serial that is not
  // known does not tell two files apart, the file index does.
  const bool same = GetFileInformationByHandle(handle, &a) &&
                    GetFileInformationByHandle(other, &b) &&
                    (a.dwVolumeSerialNumber == b.dwVolumeSerialNumber ||
                     a.dwVolumeSerialNumber == 0 || b.dwVolumeSerialNumber == 0) &&
                    a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow &&
                    (b.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  CloseHandle(other);
  return same;
}

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

bool LockedFile::ReadAt(std::uint64_t offset, std::size_t size, std::string& content,
                        std::error_code& error) {
  content.resize(size);
  std::size_t done = 0;
  while (done < size) {
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(offset + done);
    place.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    if (!ReadFile(handle_, content.data() + done, chunk, &got, &place)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      error = LastError();
      content.clear();
      return false;
    }
    if (got == 0) break;
    done += got;
  }
  content.resize(done);
  return true;
}

void LockedFile::Remove() {
  if (!IsOpen()) return;
  DeleteFileW(path_.c_str());
  Close();
}

void SyncFolder(const fs::path&) {}

}  // namespace velmor
