#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// URL-encoded text ("application/x-www-form-urlencoded" bodies and query
// strings): pairs of name and value joined by "=", separated by "&".

// Decodes up to the first NUL of `text`, raw or escaped ("%00" ends the
// text): "+" becomes a space, "%" with two hexadecimal digits (either case)
// the byte they give. A "%" without two hexadecimal digits after it is kept
// as it stands, and nothing past the end of `text` is read.
// At most `limit` decoded bytes are delivered.
std::string CgiUrlDecode(std::string_view text, std::size_t limit = std::string::npos);
// The same into `out`, which has room for `limit` bytes; returns the number
// of bytes written.
std::size_t CgiUrlDecodeInto(std::string_view text, char* out, std::size_t limit);

// Splits the text into entries of the current request, in text order, after
// starting its collection table, which keeps `received` as the entries'
// storage. The text is `received` followed by zero bytes up to `length` (a
// body shorter than its declared length); bytes of `received` beyond
// `length` are not part of it. The zero tail is never materialised, yet
// every result, value lengths included, is that of the whole `length` bytes:
//   - a name runs to the first "=" (an "&" on the way is part of it), a value
//     from there to the next "&" or the end; its value length is its raw
//     byte count plus one;
//   - a last pair without "=" takes the rest as its name and an empty value;
//   - a "&" that is the last byte of the text starts no further pair.
// Returns 0, or -1 when there is no current request.
int CgiParseUrlEncoded(std::string received, std::size_t length);
// Parses the captured QUERY_STRING. An absent or empty one gives -1 with
// `status` untouched; otherwise `status` gets the parse's result and 0 is
// returned.
int CgiParseQueryString(int& status);
