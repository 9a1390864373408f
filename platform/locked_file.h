#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

// A file this process keeps open under an exclusive lock for as long as it writes it. The
// lock ends when the file is closed or the process ends, however it ends (a crash, a kill,
// a power cut), so another process can tell a file in use from one left behind.
namespace velmor {

class LockedFile {
 public:
  LockedFile() = default;
  ~LockedFile() { Close(); }
  LockedFile(LockedFile&& other) noexcept;
  LockedFile& operator=(LockedFile&& other) noexcept;
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  // A new, empty file beside `target`, under a name no other file has, open and locked
  // before any other process can see it. On failure a closed file and the reason.
  static LockedFile CreateBeside(const std::filesystem::path& target, std::error_code& error);

  // Opens the file at `path` and takes its lock, when no process holds it and the name still
  // leads to the file that was locked (a process may have removed or replaced it meanwhile).
  // A file in use, a file gone or a symbolic link give a closed file and no error.
  static LockedFile TakeAbandoned(const std::filesystem::path& path, std::error_code& error);

  bool IsOpen() const;
  const std::filesystem::path& Path() const { return path_; }
  // True while Path() still names this file: nobody has removed or replaced it.
  bool StillNamed() const { return IsOpen() && SameFile(handle_, path_); }
  // Where the file is now, after it was renamed or linked by its path.
  void SetPath(std::filesystem::path path) { path_ = std::move(path); }

  bool WriteAt(std::uint64_t offset, std::string_view data, std::error_code& error);
  bool Truncate(std::uint64_t size, std::error_code& error);
  // Pushes what was written through the system's caches onto the disk.
  bool Sync(std::error_code& error);
  bool ReadAll(std::string& content, std::error_code& error);
  // Up to `size` bytes from `offset`; fewer at the end of the file, none beyond it.
  bool ReadAt(std::uint64_t offset, std::size_t size, std::string& content, std::error_code& error);

  // Removes the file's name while the lock is still held, so no other process takes the
  // file between, then closes it.
  void Remove();
  void Close();

 private:
  // The system's handle (a HANDLE on Windows, a descriptor elsewhere); kClosed when closed.
#ifdef _WIN32
  using Handle = void*;
  static constexpr Handle kClosed = nullptr;
#else
  using Handle = int;
  static constexpr Handle kClosed = -1;
#endif

  // What each system does its own way (posix/ and win32/locked_file.cpp).
  // A new file at `path`; std::errc::file_exists when the name is taken.
  static Handle CreateNew(const std::filesystem::path& path, std::error_code& error);
  // The file at `path`, not followed through a symbolic link.
  static Handle OpenExisting(const std::filesystem::path& path, std::error_code& error);
  // Takes the exclusive lock without waiting; the reason in `error` when it cannot.
  static bool Lock(Handle handle, std::error_code& error);
  // True when `path` still names the held file itself (not a link to it).
  static bool SameFile(Handle handle, const std::filesystem::path& path);
  static void CloseHandleOf(Handle& handle);

  Handle handle_ = kClosed;
  std::filesystem::path path_;
};

// Pushes the folder's entries onto the disk, so a name just given to a file survives a
// power cut; a no-op where the system offers no such call.
void SyncFolder(const std::filesystem::path& folder);

}  // namespace velmor
