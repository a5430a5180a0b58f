#include "maintenance/progress_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "card/card_file.hpp"
#include "card/card_paths.hpp"

namespace {

// Progress files lie in /tmp, where any process of the card may write. Only
// a plain file of the updater's own, which nobody else may change, tells the
// state of an update; anything else could be anybody's.
bool WrittenByTheUpdater(const struct stat& status) {
  return status.st_uid == card_paths::kUpdaterUserId && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

ProgressReading ReadProgressFile(const char* path) {
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

ProgressDeletion DeleteProgressFile(const char* path, const ProgressReading& reading) {
  ProgressDeletion deletion;
  const uid_t lowered = ::geteuid();
  [[maybe_unused]] const int raised = ::seteuid(0);
  deletion.uid = ::getuid();
  deletion.euid = ::geteuid();
  struct stat status {};
  if (::lstat(path, &status) != 0) {
    deletion.outcome = ProgressDeletion::kFailed;
  } else if (status.st_dev != reading.device || status.st_ino != reading.inode) {
    // The updater has begun anew meanwhile: that file is still to be read.
    deletion.outcome = ProgressDeletion::kReplaced;
  } else {
    deletion.outcome = ::unlink(path) == 0 ? ProgressDeletion::kDeleted : ProgressDeletion::kFailed;
  }
  // Root only for the deletion: whatever the page reads next is read as the
  // lowered user again.
  [[maybe_unused]] const int lowered_again = ::seteuid(lowered);
  return deletion;
}
