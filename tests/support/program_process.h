#pragma once

// Runs a program (the real velmor executable, or a helper of the desktop tests) as a child
// process, and reads what it leaves behind.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/program_output.h"

namespace velmor::testing {

using namespace std::chrono_literals;

// A child process, killed on scope exit unless it has ended.
class Process {
 public:
  Process() = default;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process() { Kill(); }

  // Starts `argv` in `folder` (empty: this process's folder) with `env` added to the
  // environment a sanitizer build needs. `held_signal`: a signal the child starts with
  // blocked, as a launcher may leave it.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::filesystem::path& folder = {}, int held_signal = 0) {
    std::vector<std::string> env_text = env;
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS",
                             "PATH", "HOME", "LANG"}) {
      const char* value = std::getenv(name);
      bool given = false;
      for (const auto& entry : env) given = given || entry.rfind(std::string(name) + "=", 0) == 0;
      if (value && !given) env_text.push_back(std::string(name) + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& entry : env_text) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (auto& arg : args) argp.push_back(arg.data());
    argp.push_back(nullptr);

    const auto previous = std::filesystem::current_path();
    if (!folder.empty()) std::filesystem::current_path(folder);
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    sigset_t held;
    sigemptyset(&held);
    if (held_signal != 0) sigaddset(&held, held_signal);
    ::posix_spawnattr_setsigmask(&attributes, &held);
    // Its own process group, so that ending it also ends what it started.
    ::posix_spawnattr_setpgroup(&attributes, 0);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    const int spawned =
        ::posix_spawnp(&pid_, args[0].c_str(), nullptr, &attributes, argp.data(), envp.data());
    ::posix_spawnattr_destroy(&attributes);
    std::filesystem::current_path(previous);
    if (spawned != 0) pid_ = -1;
    return spawned == 0;
  }

  bool Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }

  // The exit status (128 + the signal for a killed process), or -1 when it has not ended
  // within the limit.
  int WaitForExit(std::chrono::milliseconds limit = 15s) {
    return WaitUntil([this] { return !Running(); }, limit) ? status_ : -1;
  }

  void Signal(int signal_number) {
    if (Running()) ::kill(pid_, signal_number);
  }

  void Kill() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGTERM);
    if (WaitForExit(2s) < 0) {
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

}  // namespace velmor::testing
