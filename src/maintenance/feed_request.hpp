#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "maintenance/upload_tables.hpp"

// The progress feed's request: a short POST body naming the kind of update.

// The most of a body the feed ever reads.
inline constexpr std::size_t kFeedBodyLimit = 1024;

// CONTENT_LENGTH as an unsigned number with its base taken from its prefix
// (0x hexadecimal, 0 octal, else decimal), unset as 0, capped at the limit.
std::size_t FeedBodyLength(const char* content_length);

// Reads standard input until `length` bytes have arrived or the input ends
// (a body may come in several pieces). The body is text: it ends at a NUL.
std::string ReadFeedBody(std::size_t length);

// The kind named by the first "loadtype=" of the body, its value running to
// the first space (a value of any length is only compared, never copied, so a
// long one is simply the default); none when the body names no load type.
std::optional<LoadType> FeedLoadType(std::string_view body);
