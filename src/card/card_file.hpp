#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "card/file_descriptor.hpp"

// The one way a file of the card is opened. Any process of the card can put
// something other than a file at a card path: a FIFO opened for reading
// would wait for a writer for ever, a device could be read without end. So a
// file is opened without waiting and kept only when it is a regular file.

// Opens `path` with `flags` and, when they create it, `mode` (O_NONBLOCK and
// O_CLOEXEC are added) and fills `status`. The result is open only when the
// file is a regular one; anything else is closed at once.
FileDescriptor OpenRegularCardFile(const char* path, int flags, struct stat& status,
                                   mode_t mode = 0);

// The largest card file read, a size no card needs: a larger one reads as a
// missing file (errno EFBIG), with a line on the error log, for the program
// and for the checker of a card's files alike. Whoever sizes memory from a
// file's status may add a byte or double it in any size type, even where a
// size is 32 bits.
inline constexpr std::size_t kCardFileSizeBound = std::size_t{16} << 20;
static_assert(2 * static_cast<std::uintmax_t>(kCardFileSizeBound) + 1 <= SIZE_MAX);

// Opens `path` for reading that way: anything that is not a regular file, or
// is larger than kCardFileSizeBound, reads as a missing file. `flags` are added
// (O_NOFOLLOW, say); `status`, when given, gets the file's status.
FileDescriptor OpenCardFileForReading(const char* path, int flags = 0,
                                      struct stat* status = nullptr);

// For a tool that reads a card image instead of the card it runs on
// (merovane-form --root): from now on every absolute path read through
// OpenCardFileForReading lies below `root` (a folder without a trailing "/");
// relative ones stay relative to the working folder. The program never calls
// it.
void ReadCardFilesInImage(std::string_view root);

// Whether a file found in /tmp, where any process of the card may write, can
// be believed: one regular file of `owner`'s that no other user may write. A
// second link could be anybody's name for it, which its move or removal
// would not reach.
bool HeldOnlyBy(const struct stat& status, uid_t owner);
