#include "cgi/checked_alloc.hpp"

#include <unistd.h>

#include <cstdlib>
#include <new>

void CgiMemoryExhausted() {
  static constexpr char kMessage[] = "Memory exhausted.\n";
  // write(2) needs no memory of its own, unlike a buffered stream.
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  std::exit(1);
}

void CgiInstallMemoryGuard() { std::set_new_handler(CgiMemoryExhausted); }
