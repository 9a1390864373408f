#pragma once

// What a program or a test run leaves behind in a folder, and waiting for it. Portable, so
// the tests of every system share it.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace velmor::testing {

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline std::vector<std::filesystem::path> LogFilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> logs;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".rtf") logs.push_back(entry.path());
  }
  return logs;
}

// Polls a condition every 50 ms until it holds or the limit passes.
inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  for (auto end = std::chrono::steady_clock::now() + limit;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace velmor::testing
