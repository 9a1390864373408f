#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Another program run by a benchmark (socat, the velmor binary): started with its own
// working folder, environment additions and output file, and ended by its process id
// only. Not copyable; the destructor ends a program that still runs.
namespace velmor::bench {

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { Stop(std::chrono::seconds(5)); }

  // Starts `argv[0]` (looked up on PATH) in `folder` (empty: this one), with `environment`
  // entries ("NAME=value") added, its output appended to `output` (empty: discarded).
  // False when it could not be started.
  bool Start(const std::vector<std::string>& argv, const std::string& folder = {},
             const std::vector<std::string>& environment = {}, const std::string& output = {}) {
    // Everything is prepared before fork: the benchmarks run threads, so the child may only
    // make async-signal-safe calls until it execs.
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> entries = environment;
    for (char** entry = environ; *entry != nullptr; ++entry) entries.emplace_back(*entry);
    std::vector<char*> env;
    for (std::string& entry : entries) env.push_back(entry.data());
    env.push_back(nullptr);
    const char* out_path = output.empty() ? "/dev/null" : output.c_str();
    const int out_flags = output.empty() ? O_WRONLY : O_WRONLY | O_CREAT | O_APPEND;

    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
      if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
      const int out = open(out_path, out_flags, 0644);
      if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
      }
      execvpe(args[0], args.data(), env.data());
      _exit(127);
    }
    pid_ = pid;
    return true;
  }

  pid_t Pid() const { return pid_; }
  bool Running() {
    Reap(WNOHANG);
    return pid_ > 0;
  }
  // The wait status once it has ended (see Running()).
  int Status() const { return status_; }

  // Sends SIGTERM and waits up to `limit` for the end; SIGKILL after that. True when it
  // ended on SIGTERM within the limit.
  bool Stop(std::chrono::milliseconds limit) {
    if (!Running()) return false;
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Running()) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        Reap(0);
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }

 private:
  void Reap(int options) {
    if (pid_ <= 0) return;
    int status = 0;
    if (waitpid(pid_, &status, options) == pid_) {
      status_ = status;
      pid_ = -1;
    }
  }

  pid_t pid_ = -1;
  int status_ = 0;
};

}  // namespace velmor::bench
