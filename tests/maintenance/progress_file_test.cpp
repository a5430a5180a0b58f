// The progress file's three bytes classified, the error messages of both
// load types, and deleting only the file that was read.
#include "maintenance/progress_file.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "e2e/harness/sandbox.hpp"
#include "maintenance/upload_tables.hpp"

namespace {
using namespace std::string_literals;
using enum ProgressState;

// What lies at the file's name: the updater's own file (the tests' user plays
// the updater), another user's, a link to the updater's file, or a FIFO.
enum class Shape { kOwnFile, kOtherUsersFile, kLink, kFifo, kNone };

TEST(ReadProgressFile, ClassifiesTheThreeBytesOfTheUpdatersOwnFile) {
  const struct {
    std::string bytes;
    ProgressState state;
    int error = 0, percentage = 0;
    unsigned mode = 0644;
    Shape shape = Shape::kOwnFile;
  } cases[] = {
      {"\x01\x00\x2a"s, kRunning, 0, 42}, {"\x02\x00\x63"s, kRunning, 0, 99}, {"\x02\x00\xff"s, kRunning, 0, 255},
      {"\x01\x00\x64"s, kRunning, 0, 100}, {"\x01\x00\x05\x02\x00\x64"s, kRunning, 0, 5},  // the rest is ignored
      {"\x02\x00\x64"s, kCompleted, 0, 100},  // completed: the final stage at 100 percent without error
      {"\x00\x03\x10"s, kFailed, 3, 16}, {"\x02\x01\x64"s, kFailed, 1, 100},
      {"\x02\x00"s, kUnreadable}, {"", kUnreadable},
      // Believed only from the updater: its own plain file that nobody else may write.
      {"\x02\x00\x64"s, kUnreadable, 0, 0, 0664}, {"\x02\x00\x64"s, kUnreadable, 0, 0, 0646},
      {"\x02\x00\x64"s, kUnreadable, 0, 0, 0644, Shape::kOtherUsersFile},
      {"\x02\x00\x64"s, kUnreadable, 0, 0, 0644, Shape::kLink}, {"", kUnreadable, 0, 0, 0644, Shape::kFifo},
      {"", kMissing, 0, 0, 0644, Shape::kNone}};
  for (const auto& c : cases) {
    if (c.shape == Shape::kOtherUsersFile && ::geteuid() != 0) continue;  // only root can give a file away
    SCOPED_TRACE(::testing::PrintToString(c.bytes) + " mode " + std::to_string(c.mode));
    testing_support::Sandbox sandbox;
    const auto file = sandbox.CardPath("/tmp/progress"), real = sandbox.Root() / "real";
    if (c.shape == Shape::kLink) {
      sandbox.WriteFile(real, c.bytes, c.mode);
      std::filesystem::create_symlink(real, file);
    } else if (c.shape == Shape::kFifo) {
      ASSERT_EQ(::mkfifo(file.c_str(), c.mode), 0);
    } else if (c.shape != Shape::kNone) {
      sandbox.WriteFile(file, c.bytes, c.mode);
      ASSERT_EQ(c.shape == Shape::kOtherUsersFile ? ::chown(file.c_str(), 1006, 1006) : 0, 0);
    }
    const ProgressReading reading = ReadProgressFile(file.c_str());
    EXPECT_EQ(std::tie(reading.state, reading.error_number, reading.percentage),
              std::tuple(c.state, c.error, c.percentage));
  }
}

TEST(UploadErrorMessage, ComesFromTheLoadTypesTableOrNamesTheNumber) {
  const std::tuple<LoadType, unsigned, std::string> cases[] = {
      {LoadType::kDefault, 3, "File upload failed"}, {LoadType::kDefault, 12, "Header with no product name"},
      {LoadType::kDefault, 13, "Unknown error 13"}, {LoadType::kPpcUpload, 2, "Integrity check failed"},
      {LoadType::kPpcUpload, 3, "Invalid tar file"}, {LoadType::kPpcUpload, 4, "Unknown error 4"}};
  for (const auto& [load_type, number, message] : cases) EXPECT_EQ(UploadErrorMessage(load_type, number), message);
}

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
