#pragma once

#include <cstddef>

// The request library's answer to memory exhaustion: "Memory exhausted.\n" on
// standard error and exit status 1, never a null block or a half-built entry.
// Containers allocate through operator new, so the guard is a new-handler.

[[noreturn]] void CgiMemoryExhausted();
// Installs CgiMemoryExhausted as the process's new-handler.
void CgiInstallMemoryGuard();

// Limits the process's address space to `mib` MiB (0: no limit), to be called
// first thing. Linux overcommits, so without a limit an oversized request is
// not refused by the allocator but ended by the kernel's OOM killer, which may
// pick any process of the card; with one, it ends on the guard above. Only the
// soft limit is lowered, and every child made with fork gets the previous one
// back: the programs the request starts are not bound by it. Has no effect in
// a sanitizer build, whose runtime holds terabytes of address space.
void CgiLimitAddressSpace(std::size_t mib);
// Gives the calling process back the limit that CgiLimitAddressSpace
// lowered: for a child made without fork's handlers. Changes nothing when
// no limit was set.
void CgiRestoreAddressSpaceLimit();
