#pragma once

// A web server ends a request whose client has gone: lighttpd sends SIGTERM
// to the request process, other servers close the response pipe (SIGPIPE at
// the next write) or hang up. Once accepted changes are being applied, none
// of that may stop the applying half-way.

// Ignores SIGTERM, SIGHUP and SIGPIPE in this process from now on (and in
// every process it creates); writes to a closed response then fail with
// EPIPE instead. Remembers how they were handled before.
void IgnoreRequestEndSignals();

// In a child about to start another program: SIGTERM and SIGHUP handled as
// before IgnoreRequestEndSignals, so that what the program starts can still
// be stopped; SIGPIPE too unless `keep_pipe_ignored`.
void RestoreRequestEndSignals(bool keep_pipe_ignored);
