#include "card/card_file.hpp"

#include <fcntl.h>

FileDescriptor OpenRegularCardFile(const char* path, int flags, struct stat& status, mode_t mode) {
  FileDescriptor file(::open(path, flags | O_NONBLOCK | O_CLOEXEC, mode));
  if (file && (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))) {
    file.Close();
  }
  return file;
}

FileDescriptor OpenCardFileForReading(const char* path, int flags, struct stat* status) {
  struct stat own {};
  return OpenRegularCardFile(path, O_RDONLY | flags, status != nullptr ? *status : own);
}
