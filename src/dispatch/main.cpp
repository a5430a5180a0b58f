// The card's CGI program: one process per HTTP request under
// /cgi-bin/Merovane/, routed by PATH_INFO.
#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>

#include "card/error_log.hpp"
#include "card/process_identity.hpp"
#include "card/standard_streams.hpp"
#include "cgi/checked_alloc.hpp"
#include "dispatch/dispatcher.hpp"
#include "response/response_output.hpp"
#include "response/unread_body.hpp"
#include "update/pending_change.hpp"

// The address-space limit in MiB, a build setting (0: none).
#ifndef MEROVANE_MEMORY_LIMIT_MIB
#define MEROVANE_MEMORY_LIMIT_MIB 0
#endif
// The window of an address change in seconds, a build setting (0: none).
#ifndef MEROVANE_CONFIRM_S
#define MEROVANE_CONFIRM_S 0
#endif

int main() {
  OpenMissingStandardStreams();
  // A request's "Proxy:" header arrives as HTTP_PROXY, which programs read as
  // their proxy setting: no child may inherit it. Looked for first, which
  // costs less than removing what is not there.
  if (std::getenv("HTTP_PROXY") != nullptr) {
    ::unsetenv("HTTP_PROXY");
  }
  CgiLimitAddressSpace(MEROVANE_MEMORY_LIMIT_MIB);
  CgiInstallMemoryGuard();
  response::Begin();
  const char* path_info = std::getenv("PATH_INFO");
  OpenErrorLog();
  SetRequestIdentity();
  if constexpr (MEROVANE_CONFIRM_S > 0) {
    // Before any route: whatever reaches the card at its new address
    // confirms the change.
    ConfirmPendingChange();
  }
  std::uint64_t body_read = 0;
  try {
    body_read = Dispatch(path_info);
  } catch (const std::bad_alloc&) {
    // A container asked for more than the address space can hold (a body
    // past 1 GiB on a 32-bit card): no allocation was tried, so the new
    // handler never saw it. Same end as any exhausted memory.
    CgiMemoryExhausted();
  } catch (const std::length_error&) {
    CgiMemoryExhausted();
  }
  response::Flush();
  // After the answer, which a client that never sends its body still gets.
  DropUnreadBody(body_read);
  CloseErrorLog();
  // Every path, also a process forked inside a handler that returns here,
  // ends with status 0 whatever the handler did.
  return 0;
}
