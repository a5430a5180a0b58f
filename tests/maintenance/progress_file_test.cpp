// Deleting a progress file: only the file that was read.
#include "maintenance/progress_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/harness/sandbox.hpp"

namespace {
using namespace std::string_literals;

// The updater may begin anew between the reading and the deletion: the new
// file under the name is left for the next reading.
TEST(DeleteProgressFile, LeavesAFileThatReplacedTheOneRead) {
  testing_support::Sandbox sandbox;
  const auto file = sandbox.CardPath("/tmp/progress");
  sandbox.WriteFile(file, "\x02\x00\x64"s);
  const ProgressReading ended = ReadProgressFile(file.c_str());
  ASSERT_EQ(ended.state, ProgressState::kCompleted);
  sandbox.WriteFile(sandbox.CardPath("/tmp/progress.new"), "\x01\x00\x00"s);
  std::filesystem::rename(sandbox.CardPath("/tmp/progress.new"), file);

  EXPECT_EQ(DeleteProgressFile(file.c_str(), ended).outcome, ProgressDeletion::kReplaced);
  const ProgressReading running = ReadProgressFile(file.c_str());
  EXPECT_EQ(running.state, ProgressState::kRunning);
  EXPECT_EQ(DeleteProgressFile(file.c_str(), running).outcome, ProgressDeletion::kDeleted);
  EXPECT_FALSE(sandbox.Exists(file));
  EXPECT_EQ(DeleteProgressFile(file.c_str(), running).outcome, ProgressDeletion::kFailed);
}

}  // namespace
