#include "cgi/checked_alloc.hpp"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <new>

namespace {

rlimit limit_before{RLIM_INFINITY, RLIM_INFINITY};
bool limit_lowered = false;

}  // namespace

void CgiRestoreAddressSpaceLimit() {
  if (limit_lowered) {
    ::setrlimit(RLIMIT_AS, &limit_before);
  }
}

void CgiMemoryExhausted() {
  static constexpr char kMessage[] = "Memory exhausted.\n";
  // write(2) needs no memory of its own, unlike a buffered stream.
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  std::exit(1);
}

void CgiInstallMemoryGuard() { std::set_new_handler(CgiMemoryExhausted); }

void CgiLimitAddressSpace([[maybe_unused]] std::size_t mib) {
#ifndef MEROVANE_SANITIZED
  rlimit limit{};
  if (mib == 0 || ::getrlimit(RLIMIT_AS, &limit) != 0) {
    return;
  }
  const rlim_t wanted = static_cast<rlim_t>(mib) << 20;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= wanted) {
    return;  // already as tight
  }
  limit_before = limit;
  limit.rlim_cur = wanted;
  if (::setrlimit(RLIMIT_AS, &limit) == 0) {
    limit_lowered = true;
    ::pthread_atfork(nullptr, nullptr, CgiRestoreAddressSpaceLimit);
  }
#endif
}
