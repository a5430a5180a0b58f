#include "card/error_log.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "card/card_file.hpp"
#include "card/card_paths.hpp"
#include "card/process_identity.hpp"

// The card's files are told apart by inode number and read whatever their
// size: a 32-bit build without the 64-bit interfaces would fail their stat.
static_assert(sizeof(off_t) == sizeof(std::int64_t), "build with _FILE_OFFSET_BITS=64");
static_assert(sizeof(ino_t) == sizeof(std::int64_t), "build with _FILE_OFFSET_BITS=64");
static_assert(sizeof(std::time_t) == sizeof(std::int64_t), "build with _TIME_BITS=64");

namespace {
int error_log = -1;

// The log lies in /tmp, where any process of the card can put something of
// its own in its place, or a link to a file of root's. So it is opened with
// the effective user the request keeps, and the kernel refuses whatever that
// user may not write; never through a symbolic link, and used only while it
// is one plain file. Its mode is set only on a file this very open created.
int OpenLogFile() {
  const uid_t own_user = ::geteuid();
  // Fails, harmlessly, when the process was not started as root.
  [[maybe_unused]] const int as_request = ::seteuid(kWebEffectiveUserId);
  constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW;
  struct stat status {};
  FileDescriptor file =
      OpenRegularCardFile(card_paths::kErrorLog, kFlags | O_CREAT | O_EXCL, status, 0777);
  const bool created = static_cast<bool>(file);
  if (!created && errno == EEXIST) {
    file = OpenRegularCardFile(card_paths::kErrorLog, kFlags, status);
  }
  // Every request process, whatever its identity, must be able to append.
  if (created) {
    ::fchmod(file.get(), 0777);
  }
  [[maybe_unused]] const int back = ::seteuid(own_user);
  if (!file || status.st_nlink != 1) {
    return -1;
  }
  return file.Release();
}
}  // namespace

void OpenErrorLog() { error_log = OpenLogFile(); }

void ErrorLogToStandardError() { error_log = STDERR_FILENO; }

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
