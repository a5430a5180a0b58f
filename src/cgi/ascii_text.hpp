#pragma once

#include <string_view>

// Small ASCII text helpers of the library, also used by the program where it
// reads request text the same way.

// White space as the C library sees it: space, tab, line feed, vertical tab,
// form feed, carriage return.
inline bool CgiIsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// `text` without the white space at either end.
inline std::string_view CgiTrimmed(std::string_view text) {
  while (!text.empty() && CgiIsSpace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && CgiIsSpace(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// Whether `text` begins with `prefix`, letters compared without regard to
// case (ASCII only: request methods, media types and header names).
inline bool CgiStartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) {
    return false;
  }
  for (std::string_view::size_type i = 0; i < prefix.size(); ++i) {
    const auto lower = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(text[i]) != lower(prefix[i])) {
      return false;
    }
  }
  return true;
}
