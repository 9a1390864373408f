// Recovery of a file larger than the memory the program may use: it must read piece by
// piece, or a left-behind file of a long session stops every later start.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "speech/live_log_recovery.h"
#include "tests/support/large_live_log.h"

namespace velmor {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // their shadow memory needs an unlimited address space
#else
constexpr bool kSanitized = false;
#endif

// Address space in use now, in bytes.
std::uint64_t AddressSpaceInUse() {
  unsigned long pages = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

TEST(RecoveryMemoryTest, FileLargerThanTheMemoryAllowedIsRecovered) {
  if (kSanitized) GTEST_SKIP() << "a sanitizer's shadow memory needs no address space limit";
  const fs::path folder = fs::path(::testing::TempDir()) / "velmor-recovery-memory";
  fs::remove_all(folder);
  fs::create_directories(folder);
  constexpr std::uint64_t kRoom = 32 << 20;
  testing::WriteLargeLiveLogFile(folder / "Velmor_Logfile_laufend.rtf", 2 * kRoom);
  // In a child of its own, so that the limit holds for the recovery alone.
  const auto recover_within_limit = [&folder, kRoom] {
    const rlim_t most = AddressSpaceInUse() + kRoom;
    const rlimit limit{most, most};
    ::setrlimit(RLIMIT_AS, &limit);
    std::_Exit(RecoverLiveLogFiles(folder).size() == 1 ? 0 : 1);
  };
  EXPECT_EXIT(recover_within_limit(), ::testing::ExitedWithCode(0), "");
  EXPECT_FALSE(fs::exists(folder / "Velmor_Logfile_laufend.rtf"));
  fs::remove_all(folder);
}

}  // namespace
}  // namespace velmor
