// The progress file's three bytes classified, whose files are believed, the
// error messages of both load types, and setting aside only the file that was read.
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

// The updater's own file (the tests' user plays the updater) of the mode given; else what another
// user could leave at the name: a link to one, a FIFO, a file of another user (only root can give
// one away; a second name: e2e, the pending change). Only an ended update counts when set aside.
TEST(ReadProgressFile, ClassifiesTheThreeBytesOfTheUpdatersOwnFileOnly) {
  const struct {
    std::string bytes;
    ProgressState state;
    int error = 0, percentage = 0;
    unsigned mode = 0644;
    std::string kind = "";
  } cases[] = {
      // Stage, error number, percentage; completed is the final stage at 100 without error.
      {.bytes = "\x02\x00\x63"s, .state = kRunning, .percentage = 99},
      {.bytes = "\x02\x00\xff"s, .state = kRunning, .percentage = 255},
      {.bytes = "\x01\x00\x64"s, .state = kRunning, .percentage = 100},
      {.bytes = "\x01\x00\x05\x02\x00\x64"s, .state = kRunning, .percentage = 5},
      {.bytes = "\x02\x01\x64"s, .state = kFailed, .error = 1, .percentage = 100},
      {.bytes = "\x02\x00\x64"s, .state = kUnreadable, .mode = 0664},
      {.bytes = "\x02\x00\x64"s, .state = kUnreadable, .mode = 0646},
      {.bytes = "\x02\x00\x64"s, .state = kUnreadable, .kind = "link"},
      {.bytes = "\x01\x00\x2a"s, .state = kMissing, .kind = "set aside"},
      {.bytes = "\x02\x00\x64"s, .state = kMissing, .mode = 0646, .kind = "set aside"},
      {.bytes = "", .state = kUnreadable, .kind = "fifo"},
      {.bytes = "\x02\x00\x64"s, .state = kUnreadable, .kind = "another user's"},
  };
  for (const auto& c : cases) {
    if (c.kind == "another user's" && ::geteuid() != 0) continue;
    testing_support::Sandbox sandbox;
    const auto file = sandbox.CardPath("/tmp/progress"), real = sandbox.Root() / "real",
               ended = sandbox.CardPath("/tmp/progress.ended");
    ASSERT_TRUE(c.kind != "fifo" || ::mkfifo(file.c_str(), 0644) == 0);
    if (c.kind != "fifo")
      sandbox.WriteFile(c.kind == "link"        ? real
                        : c.kind == "set aside" ? ended
                                                : file,
                        c.bytes, c.mode);
    if (c.kind == "link") std::filesystem::create_symlink(real, file);
    ASSERT_TRUE(c.kind != "another user's" || ::chown(file.c_str(), 1006, 1006) == 0);
    const ProgressReading reading = ReadProgressFile({file.c_str(), ended.c_str()});
    EXPECT_EQ(std::tie(reading.state, reading.error_number, reading.percentage),
              std::tuple(c.state, c.error, c.percentage))
        << ::testing::PrintToString(c.bytes) << c.mode << c.kind;
  }
}

// The other entries, and the ppc table's end: the e2e Progress table.
TEST(UploadErrorMessage, ComesFromTheLoadTypesTableOrNamesTheNumber) {
  EXPECT_EQ(UploadErrorMessage(LoadType::kPpcUpload, 2), "Integrity check failed");
  EXPECT_EQ(UploadErrorMessage(LoadType::kDefault, 13), "Unknown error 13");
}

// The updater may begin anew between the reading and the move: the new file under the name is
// left for the next reading. An ended file moves aside (later readings: the e2e Progress table).
TEST(SetAsideProgressFile, MovesOnlyTheEndedFileReadAndKeepsItForLaterReadings) {
  testing_support::Sandbox sandbox;
  const auto file = sandbox.CardPath("/tmp/progress"), next = sandbox.CardPath("/tmp/next"),
             ended = sandbox.CardPath("/tmp/progress.ended");
  const ProgressPaths paths{file.c_str(), ended.c_str()};
  sandbox.WriteFile(file, "\x02\x00\x64"s);
  const ProgressReading completed = ReadProgressFile(paths);
  sandbox.WriteFile(next, "\x00\x03\x10"s);
  std::filesystem::rename(next, file);
  EXPECT_EQ(SetAsideProgressFile(paths, completed).outcome, ProgressSetAside::kReplaced);
  const ProgressReading failed = ReadProgressFile(paths);
  EXPECT_EQ(SetAsideProgressFile(paths, failed).outcome, ProgressSetAside::kMoved);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(sandbox.ReadFile(ended), "\x00\x03\x10"s);
  EXPECT_EQ(SetAsideProgressFile(paths, failed).outcome, ProgressSetAside::kFailed);
}
}  // namespace
