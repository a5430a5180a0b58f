#pragma once

#include <sys/types.h>

// The card's web pages run with real user and group 0 and effective user
// 1006; the handlers raise the effective user back to 0 where they must
// (deleting a progress file). Failures are ignored: an unprivileged server
// simply keeps its own identity.
inline constexpr unsigned kWebEffectiveUserId = 1006;

void SetRequestIdentity();

// In a sanitized build, lets the leak checker inspect a process whose
// effective user is not its real one (a tool that the refresh script runs
// with the program's identity); nothing otherwise.
void LetTheLeakCheckerRunAtExit();

// Root for as long as it lives (a file of root's in /tmp), then the effective
// user before it again. Failures are ignored, as above.
class AsRoot {
 public:
  AsRoot();
  ~AsRoot();
  AsRoot(const AsRoot&) = delete;
  AsRoot& operator=(const AsRoot&) = delete;

 private:
  uid_t before_;
};
