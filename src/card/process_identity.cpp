#include "card/process_identity.hpp"

#include <unistd.h>

#if defined(MEROVANE_SANITIZED)
#include <sys/prctl.h>

#include <cstdlib>
#endif

void SetRequestIdentity() {
  [[maybe_unused]] const int gid_result = ::setgid(0);
  [[maybe_unused]] const int uid_result = ::setuid(0);
  [[maybe_unused]] const int euid_result = ::seteuid(kWebEffectiveUserId);
  LetTheLeakCheckerRunAtExit();
}

void LetTheLeakCheckerRunAtExit() {
#if defined(MEROVANE_SANITIZED)
  // Sanitized test builds only: the leak checker inspects the process at exit
  // and may not while its effective user differs from its real one. Take the
  // real identity back just before it runs.
  std::atexit([] {
    [[maybe_unused]] const int restored = ::seteuid(::getuid());
    ::prctl(PR_SET_DUMPABLE, 1);
  });
#endif
}

AsRoot::AsRoot() : before_(::geteuid()) { [[maybe_unused]] const int raised = ::seteuid(0); }

AsRoot::~AsRoot() { [[maybe_unused]] const int lowered = ::seteuid(before_); }
