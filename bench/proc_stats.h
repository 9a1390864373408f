#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>

// What Linux tells about a running process under /proc: CPU time, memory, and each thread's
// name and context switches. Every reader returns 0 or an empty result when the process
// (or thread) has gone.
namespace velmor::bench {

// User plus system CPU time from a stat file: /proc/<pid>/stat for the whole process (all
// threads), /proc/<pid>/task/<tid>/stat for one thread. In seconds.
inline double StatCpuSeconds(const std::string& stat_file) {
  std::ifstream in(stat_file);
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The command name may hold spaces; the fields after it start past its closing ')'.
  const std::size_t end = stat.rfind(')');
  if (end == std::string::npos || end + 2 > stat.size()) return 0;
  std::istringstream fields(stat.substr(end + 2));
  std::string field;
  std::uint64_t ticks = 0;
  for (int number = 3; number <= 15 && fields >> field; ++number) {  // field 3 is the state
    if (number == 14 || number == 15) ticks += std::stoull(field);   // utime, stime
  }
  return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

inline double CpuSeconds(pid_t pid) {
  return StatCpuSeconds("/proc/" + std::to_string(pid) + "/stat");
}

// A number field of /proc/<pid>/status (or of a thread's status file), such as "VmRSS" in
// KiB or "voluntary_ctxt_switches".
inline std::int64_t StatusNumber(const std::string& status_file, const std::string& name) {
  std::ifstream in(status_file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, name.size() + 1, name + ":") == 0) {
      return std::stoll(line.substr(name.size() + 1));
    }
  }
  return 0;
}

inline std::string StatusFile(pid_t pid) {
  return "/proc/" + std::to_string(pid) + "/status";
}

inline double RssMiB(pid_t pid) {
  return static_cast<double>(StatusNumber(StatusFile(pid), "VmRSS")) / 1024.0;
}
inline double PeakRssMiB(pid_t pid) {
  return static_cast<double>(StatusNumber(StatusFile(pid), "VmHWM")) / 1024.0;
}

struct ThreadSample {
  std::string name;
  std::int64_t switches = 0;  // voluntary and involuntary context switches so far
  double cpu_seconds = 0;
};

// Every thread of the process by thread id.
inline std::map<pid_t, ThreadSample> SampleThreads(pid_t pid) {
  std::map<pid_t, ThreadSample> threads;
  std::error_code error;
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  // Threads may end while they are listed; what was read by then is returned.
  try {
    for (const auto& entry : std::filesystem::directory_iterator(tasks, error)) {
      const pid_t tid = static_cast<pid_t>(std::stol(entry.path().filename().string()));
      ThreadSample sample;
      std::ifstream comm(entry.path() / "comm");
      std::getline(comm, sample.name);
      const std::string status = (entry.path() / "status").string();
      sample.switches = StatusNumber(status, "voluntary_ctxt_switches") +
                        StatusNumber(status, "nonvoluntary_ctxt_switches");
      sample.cpu_seconds = StatCpuSeconds((entry.path() / "stat").string());
      threads[tid] = sample;
    }
  } catch (const std::exception&) {
  }
  return threads;
}

// CPU seconds of every child process of `parent`, by process id.
inline std::map<pid_t, double> ChildrenCpuSeconds(pid_t parent) {
  std::map<pid_t, double> children;
  std::error_code error;
  try {
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
      const std::string name = entry.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      std::ifstream in(entry.path() / "stat");
      std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      const std::size_t end = stat.rfind(')');
      if (end == std::string::npos) continue;
      std::istringstream fields(stat.substr(end + 2));
      std::string state;
      long ppid = 0;
      if (fields >> state >> ppid && ppid == parent) {
        children[static_cast<pid_t>(std::stol(name))] =
            StatCpuSeconds((entry.path() / "stat").string());
      }
    }
  } catch (const std::exception&) {
  }
  return children;
}

// The most CPU time that one of the ids gained from `before` to `after`, leaving out
// `ignored`.
inline double MostCpuGained(const std::map<pid_t, double>& before,
                            const std::map<pid_t, double>& after,
                            std::initializer_list<pid_t> ignored) {
  double most = 0;
  for (const auto& [id, seconds] : after) {
    if (std::find(ignored.begin(), ignored.end(), id) != ignored.end()) continue;
    const auto found = before.find(id);
    if (found != before.end()) most = std::max(most, seconds - found->second);
  }
  return most;
}

inline std::map<pid_t, double> ThreadCpuSeconds(pid_t pid) {
  std::map<pid_t, double> threads;
  for (const auto& [tid, sample] : SampleThreads(pid)) threads[tid] = sample.cpu_seconds;
  return threads;
}

}  // namespace velmor::bench
