// What a player's folder may hold in place of the program's files: a FIFO, a device. None of
// them may hold the start.
#include <sys/stat.h>

#include <filesystem>

#include "tests/shell/main_form_fixture.h"

namespace velmor::testing {
namespace {

namespace fs = std::filesystem;

TEST_F(MainFormTest, NoFileOfTheWrongKindHoldsTheStart) {
  for (const char* name : {"Velmor.ini", "hues.mul"}) {
    ASSERT_EQ(::mkfifo((folder_ / name).c_str(), 0600), 0);
  }
  TMainForm& form = Create();  // would wait for a writer forever
  EXPECT_EQ(form.UOClientPort.Text(), "2592");
  form_.reset();
  fs::remove(folder_ / "Velmor.ini");
  fs::create_symlink("/dev/zero", folder_ / "Velmor.ini");
  EXPECT_EQ(Create().UOServerPort.Text(), "2593");  // would read without end
}

}  // namespace
}  // namespace velmor::testing
