#pragma once

// Runs a program (the real velmor executable, or a helper of the desktop tests) as a child
// process, and ends it the ways a system does: by asking (SIGTERM; on Windows the end of
// the session, sent to its windows) or outright (SIGKILL; TerminateProcess, as
// "taskkill /F" and Task Manager's "End task" do). One implementation per system, both in
// this one place.
#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/program_output.h"

namespace velmor::testing {

using namespace std::chrono_literals;

// A child process, killed on scope exit unless it has ended.
class Process {
 public:
  // The exit status of a process ended outright.
  static constexpr int kKilledStatus = 128 + 9;

  Process() = default;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process() { Kill(); }

  // Starts `argv` in `folder` (empty: this process's folder) with `env` ("NAME=value")
  // added to this process's environment. `held_signal` (POSIX): a signal the child starts
  // with blocked, as a launcher may leave it.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const std::filesystem::path& folder = {}, int held_signal = 0);
  bool Running();
  // The exit status (kKilledStatus for a process ended outright; on POSIX 128 + the signal
  // that ended it), or -1 when it has not ended within the limit.
  int WaitForExit(std::chrono::milliseconds limit = 15s) {
    return WaitUntil([this] { return !Running(); }, limit) ? status_ : -1;
  }
  // Asks the program to end, as the system does when the session ends; on Windows once it
  // has a window to ask (false when none came within the limit).
  bool AskToEnd(std::chrono::milliseconds limit = 60s);
  // Ends it outright: it runs nothing more.
  void KillNow();
  // Ends it and what it started, for the end of a test.
  void Kill();

#ifdef _WIN32
  DWORD Id() const {
    return process_.dwProcessId;
  }
#else
  void Signal(int signal_number) {
    if (Running()) ::kill(pid_, signal_number);
  }
#endif

 private:
#ifdef _WIN32
  PROCESS_INFORMATION process_ = {};
#else
  pid_t pid_ = -1;
#endif
  int status_ = -1;
};

// The program built as `built` (a path; on Windows a name beside this test program). On
// POSIX, VELMOR_PROGRAM names another build of it to run instead (the packaged one).
std::filesystem::path ProgramPath(const std::string& built);

#ifdef _WIN32

inline std::filesystem::path ProgramPath(const std::string& built) {
  wchar_t own[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, own, MAX_PATH);
  return std::filesystem::path(own).parent_path() / std::filesystem::path(built).filename();
}

inline bool Process::Start(const std::vector<std::string>& argv,
                           const std::vector<std::string>& env, const std::filesystem::path& folder,
                           int) {
  std::wstring command;
  for (const std::string& arg : argv) {
    command += (command.empty() ? L"\"" : L" \"") + std::filesystem::path(arg).wstring() + L"\"";
  }
  // This process's environment with the additions, as the block CreateProcessW takes.
  std::wstring block;
  for (const std::string& entry : env) block += std::filesystem::path(entry).wstring() + L'\0';
  wchar_t* own = GetEnvironmentStringsW();
  for (const wchar_t* entry = own; *entry; entry += wcslen(entry) + 1) {
    block += entry;
    block += L'\0';
  }
  FreeEnvironmentStringsW(own);
  block += L'\0';
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  const std::wstring program = std::filesystem::path(argv.at(0)).wstring();
  return CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, block.data(),
                        folder.empty() ? nullptr : folder.wstring().c_str(), &startup,
                        &process_) != 0;
}

inline bool Process::Running() {
  if (!process_.hProcess) return false;
  if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) return true;
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  status_ = static_cast<int>(code);
  CloseHandle(process_.hProcess);
  CloseHandle(process_.hThread);
  process_ = {};
  return false;
}

inline bool Process::AskToEnd(std::chrono::milliseconds limit) {
  std::vector<HWND> windows;
  const auto find_windows = [&] {
    if (!Running()) return true;
    windows.clear();
    struct Search {
      DWORD process;
      std::vector<HWND>* windows;
    } search{process_.dwProcessId, &windows};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
          auto& search = *reinterpret_cast<Search*>(data);
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          // The system's own input-method windows come with a program's first window, and
          // may come before it.
          wchar_t name[32] = {};
          GetClassNameW(window, name, 32);
          const bool input_method = wcscmp(name, L"IME") == 0 || wcscmp(name, L"MSCTFIME UI") == 0;
          if (owner == search.process && !input_method) search.windows->push_back(window);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return !windows.empty();
  };
  if (!WaitUntil(find_windows, limit)) return false;
  // As the system ends a session: every top-level window is asked, then told.
  for (HWND window : windows) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000,
                        &ignored);
  }
  for (HWND window : windows) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000,
                        &ignored);
  }
  return true;
}

inline void Process::KillNow() {
  if (Running()) TerminateProcess(process_.hProcess, kKilledStatus);
}

inline void Process::Kill() {
  KillNow();
  WaitForExit(10s);
}

#else

inline std::filesystem::path ProgramPath(const std::string& built) {
  const char* other = std::getenv("VELMOR_PROGRAM");
  return other ? other : built;
}

inline bool Process::Start(const std::vector<std::string>& argv,
                           const std::vector<std::string>& env, const std::filesystem::path& folder,
                           int held_signal) {
  std::vector<std::string> env_text = env;
  for (const char* name :
       {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS", "PATH", "HOME", "LANG"}) {
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

inline bool Process::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
  pid_ = -1;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return false;
}

inline bool Process::AskToEnd(std::chrono::milliseconds) {
  Signal(SIGTERM);
  return true;
}

inline void Process::KillNow() {
  Signal(SIGKILL);
}

inline void Process::Kill() {
  if (pid_ <= 0) return;
  ::kill(-pid_, SIGTERM);
  if (WaitForExit(2s) < 0) {
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
}

#endif

}  // namespace velmor::testing
