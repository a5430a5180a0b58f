#include "cgi/url_encoded.hpp"

#include <algorithm>
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

// The bytes of [begin, end) that lie inside `received`; the rest of the range
// is the zero tail, which decoding would stop at anyway.
std::string_view ReceivedPart(std::string_view received, std::size_t begin, std::size_t end) {
  if (begin >= received.size()) {
    return {};
  }
  return received.substr(begin, std::min(end, received.size()) - begin);
}

}  // namespace

std::string CgiUrlDecode(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      decoded.push_back(' ');
      continue;
    }
    if (c == '%' && i + 2 < text.size()) {
      const int high = HexDigitValue(text[i + 1]);
      const int low = HexDigitValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        const char byte = static_cast<char>(high * 16 + low);
        if (byte == '\0') {
          break;
        }
        decoded.push_back(byte);
        i += 2;
        continue;
      }
    }
    decoded.push_back(c);
  }
  return decoded;
}

void CgiDecodeEntry(FormEntry& entry) {
  entry.name = CgiUrlDecode(entry.name);
  entry.value = CgiUrlDecode(entry.value);
}

int CgiParseUrlEncoded(std::string_view received, std::size_t length) {
  received = received.substr(0, length);
  // Pairs are bounded by the separators before the first NUL, plus one. The
  // bound only sizes the table up front: pairs behind a NUL byte in the body
  // still count, and the table grows for them.
  const std::string_view counted = received.substr(0, received.find('\0'));
  const auto separators = static_cast<std::size_t>(std::count(counted.begin(), counted.end(), '&'));
  if (CgiCreateCollectionTable(separators + 1) != 0) {
    return -1;
  }
  const std::size_t end = length;
  std::size_t pair_start = 0;
  while (length > 0) {
    FormEntry entry = CgiNewEntry();
    // The zero tail holds neither "=" nor "&", so a scan that finds nothing
    // in the received bytes runs on to the end.
    const std::size_t equals = received.find('=', pair_start);
    if (equals == std::string_view::npos) {
      entry.name = ReceivedPart(received, pair_start, end);
      entry.value_length = 1;
      CgiDecodeEntry(entry);
      CgiAppendEntry(std::move(entry));
      break;
    }
    const std::size_t value_start = equals + 1;
    const std::size_t value_end = std::min(received.find('&', value_start), end);
    entry.name = received.substr(pair_start, equals - pair_start);
    entry.value = ReceivedPart(received, value_start, value_end);
    entry.value_length = value_end - value_start + 1;
    CgiDecodeEntry(entry);
    CgiAppendEntry(std::move(entry));
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
  status = CgiParseUrlEncoded(*query, query->size());
  return 0;
}
