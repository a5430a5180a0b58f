#pragma once

// The diagnostic log of one run: opened first thing by main, closed last.
// It may be absent for the whole run; writing to an absent log does nothing.
// It is a plain descriptor rather than a stdio stream: most requests write
// nothing to it, and a stream would be allocated and closed for each.

// Opens the error log for appending, as the request's effective user (1006)
// when the process runs as root; a log it creates is made writable by every
// user. It closes on exec: no program started from here inherits it.
void OpenErrorLog();
void CloseErrorLog();
// For a tool run by hand or by a script: its messages go to standard error.
void ErrorLogToStandardError();
// Formats one message onto the log (no prefix, no line end added) and
// writes it at once, so concurrent requests interleave whole messages only.
int WriteErrorLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
