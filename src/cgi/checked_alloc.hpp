#pragma once

// The request library's answer to memory exhaustion: "Memory exhausted.\n" on
// standard error and exit status 1, never a null block or a half-built entry.
// Containers allocate through operator new, so the guard is a new-handler.

[[noreturn]] void CgiMemoryExhausted();
// Installs CgiMemoryExhausted as the process's new-handler.
void CgiInstallMemoryGuard();
