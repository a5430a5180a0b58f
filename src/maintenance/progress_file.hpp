#pragma once

#include <sys/types.h>

#include <cstdint>

// What a progress file says. The updater writes three unsigned bytes (stage,
// error number, percentage); anything after them is ignored, and a shorter
// file cannot be read. This program only reads progress files and deletes
// them once an ended update has been reported.
enum class ProgressState {
  kMissing,     // no file: nothing runs, or the end was reported already
  kUnreadable,  // cannot be opened, fewer than three bytes, or not the updater's
  kFailed,      // a non-zero error number, whatever the other bytes say
  kCompleted,   // stage 2 at 100 percent without error
  kRunning,     // anything else
};

inline constexpr std::uint8_t kStageFinished = 2;

struct ProgressReading {
  ProgressState state = ProgressState::kMissing;
  std::uint8_t stage = 0;
  std::uint8_t error_number = 0;
  std::uint8_t percentage = 0;
  // The file that was read, so that no other file of the name is deleted.
  dev_t device = 0;
  ino_t inode = 0;
};

// Reads the file at `path` when it is a regular file of the updater's user
// (card_paths::kUpdaterUserId) that no other user may write; a link, a FIFO
// or anybody else's file reads as unreadable.
ProgressReading ReadProgressFile(const char* path);

struct ProgressDeletion {
  enum Outcome { kDeleted, kFailed, kReplaced } outcome = kFailed;
  // The identity the deletion was tried with.
  uid_t uid = 0;
  uid_t euid = 0;
};

// Deletes the progress file that `reading` read, on behalf of the web pages,
// which run with a lowered effective user: the effective user is raised to 0
// for the deletion and lowered again at once. A file that has replaced the
// one read since is left in place.
ProgressDeletion DeleteProgressFile(const char* path, const ProgressReading& reading);
