#include "card/standard_streams.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "card/card_paths.hpp"

void OpenMissingStandardStreams() {
  for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream) {
    if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF) {
      continue;
    }
    // Inheritable on purpose: these are the streams the children get.
    const int null = ::open(card_paths::kDevNull, stream == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != stream) {
      ::dup2(null, stream);
      ::close(null);
    }
  }
}
