#pragma once

// The card's system log: the syslog socket (card_paths::kSystemLog) that
// BusyBox's syslogd reads and `logread` shows. Each line is one datagram in
// the traditional syslog format without a timestamp (syslogd adds its own):
// "<PRIORITY>Merovane[PID]: " and the text, every control byte of it written
// as \xHH (the text stays one line), cut to 1024 bytes. Never waits: without a socket, or when the
// reader is behind, the line is dropped and nothing else changes.

// Priorities (facility user).
inline constexpr int kSystemLogNotice = (1 << 3) | 5;
inline constexpr int kSystemLogWarning = (1 << 3) | 4;

void WriteSystemLog(int priority, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Who made the request and from where, as every line about one names them:
// REMOTE_USER (the server's authenticated user) and REMOTE_ADDR, "-" for one
// the server does not pass.
struct RequestParty {
  const char* user;
  const char* address;
};
RequestParty CurrentRequestParty();
