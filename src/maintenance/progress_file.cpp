#include "maintenance/progress_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "card/card_file.hpp"
#include "card/card_paths.hpp"

namespace {

// Progress files lie in /tmp: only the updater's own file tells the state of
// an update.
bool WrittenByTheUpdater(const struct stat& status) {
  return HeldOnlyBy(status, card_paths::kUpdaterUserId);
}

ProgressReading ReadFile(const char* path) {
  ProgressReading reading;
  struct stat status {};
  if (::lstat(path, &status) != 0) {
    reading.state = ProgressState::kMissing;
    return reading;
  }
  reading.state = ProgressState::kUnreadable;
  // Not through a link.
  const FileDescriptor file = OpenCardFileForReading(path, O_NOFOLLOW, &status);
  if (!file || !WrittenByTheUpdater(status)) {
    return reading;
  }
  std::uint8_t bytes[3] = {};
  std::size_t filled = 0;
  while (filled < sizeof bytes) {
    const std::size_t got =
        file.Read(reinterpret_cast<char*>(bytes) + filled, sizeof bytes - filled);
    if (got == 0) {
      return reading;
    }
    filled += got;
  }
  reading.device = status.st_dev;
  reading.inode = status.st_ino;
  reading.stage = bytes[0];
  reading.error_number = bytes[1];
  reading.percentage = bytes[2];
  if (reading.error_number != 0) {
    reading.state = ProgressState::kFailed;
  } else if (reading.stage == kStageFinished && reading.percentage == 100) {
    reading.state = ProgressState::kCompleted;
  } else {
    reading.state = ProgressState::kRunning;
  }
  return reading;
}

}  // namespace

ProgressReading ReadProgressFile(const ProgressPaths& paths) {
  const ProgressReading reading = ReadFile(paths.current);
  if (reading.state != ProgressState::kMissing) {
    return reading;
  }
  ProgressReading ended = ReadFile(paths.ended);
  if (ended.state != ProgressState::kFailed && ended.state != ProgressState::kCompleted) {
    return reading;
  }
  ended.set_aside = true;
  return ended;
}

ProgressSetAside SetAsideProgressFile(const ProgressPaths& paths, const ProgressReading& reading) {
  ProgressSetAside move;
  if (reading.set_aside) {
    move.outcome = ProgressSetAside::kMoved;
    return move;
  }
  const uid_t lowered = ::geteuid();
  [[maybe_unused]] const int raised = ::seteuid(0);
  move.uid = ::getuid();
  move.euid = ::geteuid();
  struct stat status {};
  if (::lstat(paths.current, &status) != 0) {
    move.outcome = ProgressSetAside::kFailed;
  } else if (status.st_dev != reading.device || status.st_ino != reading.inode) {
    // The updater has begun anew meanwhile: that file is still to be read.
    move.outcome = ProgressSetAside::kReplaced;
  } else {
    move.outcome = std::rename(paths.current, paths.ended) == 0 ? ProgressSetAside::kMoved
                                                                : ProgressSetAside::kFailed;
  }
  // Root only for the move: whatever the page reads next is read as the
  // lowered user again.
  [[maybe_unused]] const int lowered_again = ::seteuid(lowered);
  return move;
}
