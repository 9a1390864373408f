#include "platform/file_io.h"

#include <io.h>
#include <windows.h>

#include <algorithm>

#include "platform/text_codec.h"
#include "platform/win32/windows_error.h"

namespace velmor {

namespace fs = std::filesystem;

namespace {

std::error_code LastError() {
  return WindowsError(GetLastError());
}

}  // namespace

fs::path PathFromText(std::string_view text) {
  return fs::path(Windows1252ToWide(text));
}

std::string TextFromPath(const fs::path& path) {
  return WideToWindows1252(path.native());
}

std::FILE* OpenFile(const fs::path& path, const char* mode) {
  const std::string_view narrow(mode);
  return _wfopen(path.c_str(), std::wstring(narrow.begin(), narrow.end()).c_str());
}

std::FILE* OpenRegularFile(const fs::path& path) {
  std::FILE* file = OpenFile(path, "rb");
  if (file == nullptr) return nullptr;
  // A disk file, not a device or a pipe.
  if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

bool IsReadOnly(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

void CopyPermissions(const fs::path&, const fs::path&) {
  // ReplaceFileW keeps the replaced file's attributes and security itself.
}

bool SyncToDisk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  return _commit(_fileno(file)) == 0;
}

bool WriteNewFile(const fs::path& path, std::string_view content, std::error_code& error) {
  // CREATE_NEW fails on a name that is taken, another process's file included.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = LastError();
    return false;
  }
  bool written = true;
  for (std::size_t offset = 0; written && offset < content.size();) {
    const DWORD chunk =
        static_cast<DWORD>(std::min<std::size_t>(content.size() - offset, 1u << 30));
    DWORD done = 0;
    written = WriteFile(file, content.data() + offset, chunk, &done, nullptr) && done > 0;
    offset += done;
  }
  written = written && FlushFileBuffers(file);
  if (!written) error = LastError();
  if (!CloseHandle(file) && written) {
    written = false;
    error = LastError();
  }
  if (written) {
    error.clear();
    return true;
  }
  DeleteFileW(path.c_str());
  return false;
}

namespace {

// A virus scanner or a syncing client (OneDrive) may hold a file for a moment, just when it
// is to be renamed: a step that fails so is tried again for about a second before its failure
// counts. Returns whether it succeeded; GetLastError() tells why not.
template <typename Step>
bool TryForASecond(Step step) {
  constexpr int kAttempts = 10;
  for (int attempt = 1;; ++attempt) {
    if (step()) return true;
    const DWORD error = GetLastError();
    if (attempt == kAttempts || (error != ERROR_SHARING_VIOLATION &&
                                 error != ERROR_LOCK_VIOLATION && error != ERROR_ACCESS_DENIED)) {
      SetLastError(error);
      return false;
    }
    Sleep(100);
  }
}

}  // namespace

bool RenameReplacing(const fs::path& from, const fs::path& to, std::error_code& error) {
  // Windows refuses to replace a folder by a file, but not every implementation of its
  // calls does: a folder of that name stays, whatever it holds.
  const DWORD attributes = GetFileAttributesW(to.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    error = std::make_error_code(std::errc::is_a_directory);
    return false;
  }
  // ReplaceFileW keeps what belongs to the old file (attributes, security, creation time).
  // Where it cannot (no old file yet, or one it may not open), the plain move replaces it
  // in one step, as a rename does on POSIX.
  // Named in full: some implementations of ReplaceFileW refuse a name without a folder.
  std::error_code ignored;
  const fs::path full_to = fs::absolute(to, ignored);
  const fs::path full_from = fs::absolute(from, ignored);
  if (TryForASecond([&] {
        return ReplaceFileW(full_to.c_str(), full_from.c_str(), nullptr,
                            REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) ||
               MoveFileExW(from.c_str(), to.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
      })) {
    error.clear();
    return true;
  }
  error = LastError();
  return false;
}

bool CanReplaceFileHeldOpen() {
  return false;
}

bool RenameIfAbsent(const fs::path& from, const fs::path& to, std::error_code& error) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails on a taken name in one step.
  if (TryForASecond(
          [&] { return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH); })) {
    error.clear();
    return true;
  }
  error = LastError();
  return false;
}

}  // namespace velmor
