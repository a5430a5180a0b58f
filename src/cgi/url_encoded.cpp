#include "cgi/url_encoded.hpp"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <optional>
#include <utility>

#include "cgi/captured_variables.hpp"
#include "cgi/cgi_context.hpp"
#include "cgi/collection_table.hpp"

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// Decodes from `text` into `out` (which may be `text` itself: the output
// never runs ahead of the input) up to `limit` bytes; returns their number.
std::size_t Decode(std::string_view text, char* out, std::size_t limit) {
  // Most names and values are plain: their bytes stand for themselves up to
  // the first that needs a look, and are only counted (copied elsewhere).
  const std::size_t most = std::min(text.size(), limit);
  std::size_t written = 0;
  while (written < most && text[written] != '\0' && text[written] != '+' && text[written] != '%') {
    ++written;
  }
  if (written > 0 && out != text.data()) {
    std::memmove(out, text.data(), written);
  }
  for (std::size_t i = written; i < text.size() && written < limit; ++i) {
    char c = text[i];
    if (c == '\0') {
      break;
    }
    if (c == '+') {
      c = ' ';
    } else if (c == '%' && i + 2 < text.size()) {
      const int high = HexDigitValue(text[i + 1]);
      const int low = HexDigitValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        c = static_cast<char>(high * 16 + low);
        if (c == '\0') {
          break;
        }
        i += 2;
      }
    }
    assert(written <= i);  // decoding in place never overtakes the input
    out[written++] = c;
  }
  return written;
}

// The "=" that ends the name starting at `start` (npos: none), and whether
// the name is plain, needing no decoding, as most forms send it. The scan of
// plain bytes stops at "=", at "+" and "%", which need decoding, and at a
// NUL, which ends a decoded name: the text's own NUL after its end among
// them, so it needs no count.
std::pair<std::size_t, bool> ScanName(const std::string& text, std::size_t start) {
  const char* const bytes = text.c_str();
  const std::size_t at = start + std::strcspn(bytes + start, "=+%");
  if (at < text.size() && bytes[at] == '=') {
    return {at, true};
  }
  return {text.find('=', at), false};
}

// Decodes `text` over itself and returns the decoded length.
std::size_t DecodeInPlace(char* text, std::size_t length) {
  return Decode(std::string_view(text, length), text, length);
}

}  // namespace

std::string CgiUrlDecode(std::string_view text, std::size_t limit) {
  std::string decoded(std::min(text.size(), limit), '\0');
  decoded.resize(Decode(text, decoded.data(), decoded.size()));
  return decoded;
}

std::size_t CgiUrlDecodeInto(std::string_view text, char* out, std::size_t limit) {
  return Decode(text, out, limit);
}

int CgiParseUrlEncoded(std::string received, std::size_t length) {
  CollectionTable* table = CgiCreateCollectionTable(std::move(received), length);
  if (table == nullptr) {
    return -1;
  }
  std::string& text = table->Text();
  const std::size_t end = length;
  std::size_t pair_start = 0;
  while (length > 0) {
    // The zero tail holds neither "=" nor "&", so a scan that finds nothing
    // in the received bytes runs on to the end. Names are decoded in place;
    // values stay as sent until they are looked up.
    const auto [equals, plain] = ScanName(text, pair_start);
    if (equals == std::string::npos) {
      const std::size_t raw = text.size() - std::min(pair_start, text.size());
      table->AppendPair(pair_start,
                        DecodeInPlace(text.data() + std::min(pair_start, text.size()), raw),
                        std::nullopt);
      break;
    }
    const std::size_t value_start = equals + 1;
    const std::size_t value_end = std::min(text.find('&', value_start), end);
    table->AppendPair(
        pair_start,
        plain ? equals - pair_start : DecodeInPlace(text.data() + pair_start, equals - pair_start),
        value_start);
    if (value_end >= end - 1) {
      break;  // at the end, or at an "&" that is the last byte
    }
    pair_start = value_end + 1;
  }
  return 0;
}

int CgiParseQueryString(int& status) {
  const std::optional<std::string_view> query = CgiCapturedValue(kQueryStringSlot);
  if (!query || query->empty()) {
    return -1;
  }
  status = CgiParseUrlEncoded(std::string(*query), query->size());
  return 0;
}
