#pragma once

#include <cstdio>
#include <filesystem>

namespace velmor {

// fopen with a path that may hold any character the file system allows ("rb", "wb", ...).
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// Flushes the file and pushes its bytes through the system's caches onto the disk, so a
// rename that follows can never expose a file whose content is still missing after a crash.
bool SyncToDisk(std::FILE* file);

}  // namespace velmor
