#pragma once

// Puts "/dev/null" on each of descriptors 0, 1 and 2 that the process was
// started without. Called first thing, before anything else is opened: a
// file opened later would otherwise take the free number and become the
// response stream (or the request body, or standard error).
void OpenMissingStandardStreams();
