#include "card/error_log.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "card/card_file.hpp"
#include "card/card_paths.hpp"

// The card's files are told apart by inode number and read whatever their
// size: a 32-bit build without the 64-bit interfaces would fail their stat.
static_assert(sizeof(off_t) == sizeof(std::int64_t), "build with _FILE_OFFSET_BITS=64");
static_assert(sizeof(ino_t) == sizeof(std::int64_t), "build with _FILE_OFFSET_BITS=64");
static_assert(sizeof(std::time_t) == sizeof(std::int64_t), "build with _TIME_BITS=64");

namespace {
int error_log = -1;

// The log lies in /tmp, where any process of the card can put something of
// its own in its place, and it is opened while the process is still root.
// So it is never opened through a link, and used only when it is one plain
// file: a second hard link could lead to any file of the card.
int OpenLogFile() {
  struct stat status {};
  FileDescriptor file = OpenRegularCardFile(
      card_paths::kErrorLog, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW, status, 0777);
  if (!file || status.st_nlink != 1) {
    return -1;
  }
  return file.Release();
}
}  // namespace

void OpenErrorLog() {
  const int file = OpenLogFile();
  if (file < 0) {
    return;
  }
  // Every request process, whatever its identity, must be able to append;
  // the mode is set on the file opened, never on whatever the name leads to.
  ::fchmod(file, 0777);
  error_log = file;
}

void CloseErrorLog() {
  if (error_log >= 0) {
    ::close(error_log);
    error_log = -1;
  }
}

int WriteErrorLog(const char* format, ...) {
  if (error_log < 0) {
    return 0;
  }
  va_list args;
  va_start(args, format);
  // One message is formatted whole and leaves in one write (of an appending
  // file) unless it is longer than stdio's block.
  const int written = ::vdprintf(error_log, format, args);
  va_end(args);
  return written < 0 ? EOF : 0;
}
