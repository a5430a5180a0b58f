#pragma once

#include <cstdint>

// What a progress file says. The updater writes three unsigned bytes (stage,
// error number, percentage); anything after them is ignored, and a shorter
// file cannot be read. This program only reads progress files and deletes
// them once an ended update has been reported.
enum class ProgressState {
  kMissing,     // no file: nothing runs, or the end was reported already
  kUnreadable,  // cannot be opened, or fewer than three bytes
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
};

ProgressReading ReadProgressFile(const char* path);

// Deletes a progress file on behalf of the web pages, which run with a
// lowered effective user: the effective user is raised to 0 first and left
// there. Returns whether the file was removed.
bool DeleteProgressFile(const char* path);
