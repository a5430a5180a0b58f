#pragma once

#include <sys/types.h>

#include <cstdint>

// What a progress file says. The updater writes three unsigned bytes (stage,
// error number, percentage); anything after them is ignored, and a shorter
// file cannot be read. This program only reads progress files and, once an
// ended update has been reported, sets them aside under a name of their own:
// the next update starts from a missing file, and every later request still
// learns how the last one ended.
enum class ProgressState {
  kMissing,     // no file, and no ended update set aside: nothing ran since the card started
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
  // The file that was read, so that no other file of the name is moved.
  dev_t device = 0;
  ino_t inode = 0;
  bool set_aside = false;  // read from the ended update's place
};

// The progress file of one kind of update, and where it is set aside.
struct ProgressPaths {
  const char* current;
  const char* ended;
};

// Reads the file at `paths.current` when it is a regular file of the
// updater's user (card_paths::kUpdaterUserId) with one link that no other
// user may write; a symbolic or second link, a FIFO or anybody else's file
// reads as unreadable. When there is none, the file at `paths.ended`, under
// the same rules, tells how the last update ended; anything else there reads
// as missing.
ProgressReading ReadProgressFile(const ProgressPaths& paths);

struct ProgressSetAside {
  enum Outcome { kMoved, kFailed, kReplaced } outcome = kFailed;
  // The identity the move was tried with.
  uid_t uid = 0;
  uid_t euid = 0;
};

// Moves the ended progress file that `reading` read to `paths.ended`, on
// behalf of the web pages, which run with a lowered effective user: the
// effective user is raised to 0 for the move and lowered again at once. A
// file that has replaced the one read since is left in place, and one read
// from the ended place stays there.
ProgressSetAside SetAsideProgressFile(const ProgressPaths& paths, const ProgressReading& reading);
