#include "dispatch/error_log.hpp"

#include <sys/stat.h>

#include <cstdarg>

#include "dispatch/card_paths.hpp"

namespace {
std::FILE* error_log = nullptr;
}

void OpenErrorLog() {
  error_log = std::fopen(card_paths::kErrorLog, "a");
  // Every request process, whatever its identity, must be able to append.
  ::chmod(card_paths::kErrorLog, 0777);
}

void CloseErrorLog() {
  if (error_log != nullptr) {
    std::fclose(error_log);
    error_log = nullptr;
  }
}

std::FILE* ErrorLogStream() { return error_log; }

int WriteErrorLog(const char* format, ...) {
  if (error_log == nullptr) {
    return 0;
  }
  va_list args;
  va_start(args, format);
  std::vfprintf(error_log, format, args);
  va_end(args);
  return std::fflush(error_log);
}
