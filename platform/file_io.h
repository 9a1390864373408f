#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

// Files by name, as the system names them. The program's text is Windows-1252; on Windows
// a name goes to the system as a wide string, never through the C library's narrow calls
// (which would read it in the user's ANSI code page); on POSIX its bytes are the name.
namespace velmor {

// The path that names the file or folder `text` (Windows-1252) names.
std::filesystem::path PathFromText(std::string_view text);
// A path as Windows-1252 text, for messages and for names kept as text.
std::string TextFromPath(const std::filesystem::path& path);

// fopen with a path that may hold any character the file system allows ("rb", "wb", ...).
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// Opens a regular file for binary reading; null for anything else (a folder, a FIFO, a
// device), which is never waited for: a FIFO in a file's place must not hold the program.
std::FILE* OpenRegularFile(const std::filesystem::path& path);

// True when the file exists and was made read-only (no write permission for anyone; on
// Windows its read-only attribute).
bool IsReadOnly(const std::filesystem::path& path);
// Gives `to` the permissions `from` has, where the system knows permissions per file and
// `from` exists; the file that replaces another keeps what the player set.
void CopyPermissions(const std::filesystem::path& from, const std::filesystem::path& to);

// Flushes the file and pushes its bytes through the system's caches onto the disk, so a
// rename that follows can never expose a file whose content is still missing after a crash.
bool SyncToDisk(std::FILE* file);

// Creates `path`, which must not exist yet (another process's file included: then
// std::errc::file_exists), writes `content`, pushes it onto the disk and closes it. On any
// other failure the file is removed again and `error` says why.
bool WriteNewFile(const std::filesystem::path& path, std::string_view content,
                  std::error_code& error);

// Gives the file `from` the name `to` in one step, replacing a file of that name.
bool RenameReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                     std::error_code& error);

// True when RenameReplacing can replace a file that this process holds open (POSIX);
// Windows refuses.
bool CanReplaceFileHeldOpen();

// Gives the file `from` the name `to` unless that name is taken; then it fails with
// std::errc::file_exists and `from` stays. No other process can slip in between the check
// and the rename.
bool RenameIfAbsent(const std::filesystem::path& from, const std::filesystem::path& to,
                    std::error_code& error);

}  // namespace velmor
