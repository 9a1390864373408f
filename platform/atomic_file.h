#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

// Files that appear whole or not at all: the content goes to a staged file beside the
// target, is pushed onto the disk, and only then takes the target's name. A crash or a
// power cut at any moment leaves either the old file or the complete new one.
namespace velmor {

// Writes `content` to a new file beside `target` under a name no other file has, syncs it
// to disk and closes it. Returns its path; on failure an empty path with the reason in
// `error`, and nothing left behind.
std::filesystem::path WriteStagedFile(const std::filesystem::path& target, std::string_view content,
                                      std::error_code& error);

// Gives the staged file the name `target`, replacing a file of that name.
bool CommitReplacing(const std::filesystem::path& staged, const std::filesystem::path& target,
                     std::error_code& error);

// Gives the staged file the name `target` unless a file of that name exists; then it
// fails with std::errc::file_exists and the staged file stays for another name.
bool CommitIfAbsent(const std::filesystem::path& staged, const std::filesystem::path& target,
                    std::error_code& error);

// Removes the staged files ("<target>.tmp<digits>") that writers of earlier runs left in
// the folder beside targets `is_target` accepts (given the target's file name): those no
// process holds locked and that have not changed for a minute, as a writer at work either
// holds its staged file or has just written it.
void RemoveStagedFilesLeftBehind(const std::filesystem::path& folder,
                                 const std::function<bool(const std::string& target)>& is_target);

// Stages and commits in one step, replacing `target` and keeping its permissions; removes
// the staged file on failure.
bool WriteFileReplacing(const std::filesystem::path& target, std::string_view content,
                        std::error_code& error);

}  // namespace velmor
