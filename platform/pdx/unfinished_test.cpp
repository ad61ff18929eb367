// The marker of a folder that a tool is still building.
#include "pdx/unfinished.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "test_util.h"

namespace pdx {
namespace {

using testing::TempDir;

// While its builder runs the marker says so; a builder that dies leaves it
// (as the folder is incomplete), no longer running; finish() takes it away.
// A second builder cannot take a folder being built.
TEST(Unfinished, TheMarkerTellsARunningBuildFromAnInterruptedOne) {
  TempDir tmp;
  Env* env = Env::unsynced();
  auto none = findUnfinishedBuild(tmp.path(), env);
  ASSERT_TRUE(none.ok());
  EXPECT_FALSE(*none);

  const pid_t child = testing::spawn([&] {
    auto marker = BuildMarker::place(tmp.path(), "tallimoor-admin demo \x1b[31mroot", env);
    if (!marker.ok()) return 1;
    ::sleep(30);
    return 0;
  });
  std::optional<UnfinishedBuild> seen;
  for (int i = 0; i < 500 && !seen; ++i) {
    ::usleep(10'000);
    auto found = findUnfinishedBuild(tmp.path(), env);
    ASSERT_TRUE(found.ok());
    if (*found && found->value().running) seen = **found;
  }
  ASSERT_TRUE(seen) << "the child's build was never seen running";
  EXPECT_EQ(seen->what, "tallimoor-admin demo \\x1B[31mroot");
  EXPECT_FALSE(BuildMarker::place(tmp.path(), "a second build", env).ok());

  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  auto left = findUnfinishedBuild(tmp.path(), env);
  ASSERT_TRUE(left.ok());
  ASSERT_TRUE(*left);
  EXPECT_FALSE((*left)->running);

  ASSERT_TRUE(removeUnfinishedMarker(tmp.path(), env).ok());
  auto again = BuildMarker::place(tmp.path(), "a new build", env);
  ASSERT_TRUE(again.ok());
  ASSERT_TRUE((*again)->finish().ok());
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
}

}  // namespace
}  // namespace pdx
