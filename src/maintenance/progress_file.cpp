#include "maintenance/progress_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace {
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
}  // namespace

ProgressReading ReadProgressFile(const char* path) {
  ProgressReading reading;
  struct stat status {};
  if (::stat(path, &status) != 0) {
    reading.state = ProgressState::kMissing;
    return reading;
  }
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
  reading.state = ProgressState::kUnreadable;
  if (!file) {
    return reading;
  }
  std::uint8_t bytes[3] = {};
  for (std::uint8_t& byte : bytes) {
    const int got = std::fgetc(file.get());
    if (got == EOF) {
      return reading;
    }
    byte = static_cast<std::uint8_t>(got);
  }
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

bool DeleteProgressFile(const char* path) {
  [[maybe_unused]] const int raised = ::seteuid(0);
  return ::unlink(path) == 0;
}
