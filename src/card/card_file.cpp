#include "card/card_file.hpp"

#include <fcntl.h>

#include <cerrno>
#include <string>

#include "card/error_log.hpp"

FileDescriptor OpenRegularCardFile(const char* path, int flags, struct stat& status, mode_t mode) {
  FileDescriptor file(::open(path, flags | O_NONBLOCK | O_CLOEXEC, mode));
  if (file && (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))) {
    file.Close();
  }
  return file;
}

namespace {
// Empty in the program: a card path is read where it lies.
std::string image_root;
}  // namespace

void ReadCardFilesInImage(std::string_view root) { image_root = root; }

FileDescriptor OpenCardFileForReading(const char* path, int flags, struct stat* status) {
  struct stat own {};
  struct stat& filled = status != nullptr ? *status : own;
  std::string in_image;
  if (!image_root.empty() && path[0] == '/') {
    in_image = image_root + path;
    path = in_image.c_str();
  }
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
