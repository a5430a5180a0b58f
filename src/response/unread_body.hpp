#pragma once

#include <cstdint>

// The body of a POST that its route does not read. A server that relays the
// body through a socket (Apache's mod_cgid) cuts the answer off, or resets
// the stream, when the program ends with body bytes still unread: every
// request reads its whole body before the program ends.

// The most of a body that is read only to be dropped: far more than any form
// of a card (a few KiB). A longer body is left unread; the answer is the
// same either way.
inline constexpr std::uint64_t kDroppedBodyLimit = 1024 * 1024;

// Reads and drops what is left of a POST body whose route has read
// `already_read` bytes of it: up to the declared CONTENT_LENGTH (digits
// only), when that is within the limit, and only as long as the input has
// bytes to give. Anything else reads nothing.
void DropUnreadBody(std::uint64_t already_read);
