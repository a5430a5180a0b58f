#include "card/card_file.hpp"

#include <fcntl.h>

#include <cerrno>

#include "card/error_log.hpp"

FileDescriptor OpenRegularCardFile(const char* path, int flags, struct stat& status, mode_t mode) {
  FileDescriptor file(::open(path, flags | O_NONBLOCK | O_CLOEXEC, mode));
  if (file && (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))) {
    file.Close();
  }
  return file;
}

FileDescriptor OpenCardFileForReading(const char* path, int flags, struct stat* status) {
  struct stat own {};
  struct stat& filled = status != nullptr ? *status : own;
  FileDescriptor file = OpenRegularCardFile(path, O_RDONLY | flags, filled);
  if (file && static_cast<std::uintmax_t>(filled.st_size) > kCardFileSizeBound) {
    WriteErrorLog("the card file %s is larger than %zu bytes and is not read\n", path,
                  kCardFileSizeBound);
    file.Close();
    errno = EFBIG;
  }
  return file;
}

bool HeldOnlyBy(const struct stat& status, uid_t owner) {
  return S_ISREG(status.st_mode) && status.st_nlink == 1 && status.st_uid == owner &&
         (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}
